#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Asks whether a document the app already holds under the upload's name is
// to be overwritten, left alone, or saved under the alternative name the app
// proposed. exec() returns IDYES, IDNO or IDC_SAVE_AS_ALT. Enter does
// nothing, so a stray key press cannot overwrite a drawing; Escape and the
// close box answer "いいえ".
class COverwriteDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDYES = 6;
    static constexpr int IDNO = 7;
    static constexpr int IDC_SAVE_AS_ALT = 1011;

    COverwriteDlg(const QString& fileName, const QString& altName, QWidget* parent = nullptr);

    QLabel* Question() const { return m_pQuestion; }
    QPushButton* YesButton() const { return m_pYes; }
    QPushButton* NoButton() const { return m_pNo; }
    QPushButton* SaveAsAltButton() const { return m_pSaveAsAlt; }

    // Escape and the close box.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_strFileName;
    QString m_strAltName;
    QLabel* m_pQuestion;
    QPushButton* m_pYes;
    QPushButton* m_pNo;
    QPushButton* m_pSaveAsAlt;
};
