#pragma once

#include "link/Transaction.h"

class CKSData;

// Decides what happens when the app already holds a drawing under the
// upload's name.
class IOverwriteChooser {
public:
    enum Choice { OVERWRITE, SAVE_AS_ALT, CANCEL };
    virtual ~IOverwriteChooser() = default;
    // `name` exists in the app; nothing exists under `altName`.
    virtual Choice ChooseOverwrite(const QString& name, const QString& altName) = 0;
};

// Uploads one drawing: asks the app whether the name is taken
// ("IsOverwrite:"), lets the chooser decide between overwriting, giving up
// and the app's alternative name when it is, then sends the document with
// its digest ("SetFile:"). Ends with 1 when the app accepted it, with 2
// otherwise.
class CSetFileTransaction : public CTransaction {
public:
    // `document` must outlive the transaction.
    CSetFileTransaction(CDeviceLink& link, IOverwriteChooser& chooser, const CKSData& document,
                        const QString& name);

    QString GetWaitMessage() const override;
    qint64 ExpectedSendBytes() const override { return m_nExpectedSend; }
    void OnPacket(QByteArray name, QByteArray value) override;

    // The name the app stored the drawing under (valid after a success).
    const QString& ChosenName() const { return m_strChosenName; }

protected:
    void StartRequest() override;

private:
    enum Step { STEP_IS_OVERWRITE = 0, STEP_SET_FILE = 1 };

    void SendDocument(const QString& chosenName);

    IOverwriteChooser& m_chooser;
    const CKSData* m_pData;
    QString m_strFileName;
    QString m_strChosenName;
    int m_nStep = STEP_IS_OVERWRITE;
    qint64 m_nExpectedSend = 0;
};
