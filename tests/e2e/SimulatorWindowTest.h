#pragma once

#include "EndToEndSupport.h"

#include "mainwnd/WindowTestSupport.h"

#include "convert/SerializerList.h"
#include "convert/dialogs/KomaSlateServerFileDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// The main window of MainWindowTest with simulators as separate processes
// connecting to it, each serving a store in a temporary folder.
class SimulatorWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(m_work.isValid());
        m_registry.AddStandardSerializers();
        // A window stuck in a transaction would keep the test's own waits
        // from ever looking at their limits: past this one the connection
        // is ended, again every second, which ends every transaction.
        m_watchdog.callOnTimeout([this] {
            if (m_watchdog.interval() == kWatchdogMs)
                ADD_FAILURE() << "still running after " << kWatchdogMs << " ms";
            m_watchdog.setInterval(1000);
            m_window->Link().Disconnect();
        });
        m_watchdog.start(kWatchdogMs);
    }

    // A folder inside the temporary one (not made).
    QString WorkPath(const QString& name) const { return m_work.filePath(name); }

    // A simulator serving `store` that connects to the window.
    std::unique_ptr<CChildProcess> StartSim(const QString& store, const QStringList& extra = {}) {
        return StartSimulator(Port(), store, extra);
    }

    // Whether an app is connected, no window of the program is open over
    // the main one and the list holds at least `rows` rows.
    bool IsIdleWithRows(int rows = 1) const {
        return m_window->Link().IsConnected() && !QApplication::activeModalWidget() &&
               m_window->FileList()->rowCount() >= rows;
    }
    // Waits until the window is idle (as above) and lists exactly `names`,
    // in any order.
    bool WaitForList(QStringList names, int limitMs = 20000) {
        names.sort();
        return WaitUntil(
            [&] {
                QStringList shown = Names();
                shown.sort();
                return IsIdleWithRows() && shown == names;
            },
            limitMs);
    }

    // Selects the rows showing these names.
    void SelectNames(const QStringList& names) {
        CFileListCtrl* list = m_window->FileList();
        list->clearSelection();
        const QStringList shown = Names();
        for (const QString& name : names) {
            const int row = int(shown.indexOf(name));
            ASSERT_GE(row, 0) << name.toStdString();
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    // Answers every save dialog of a download: `folder`/<the name it
    // offers>.<type> as file type `type` ("png" or "kom"), layers not tiled;
    // ticks the box that saves the rest alike when `saveRest` and the dialog
    // offers it. Counts the dialogs in `shown`.
    std::unique_ptr<COnShow<CKomaSlateServerFileDialog>>
    AnswerSaves(const QString& folder, const QString& type, bool saveRest, int& shown) {
        return std::make_unique<COnShow<CKomaSlateServerFileDialog>>(
            [folder, type, saveRest, &shown](CKomaSlateServerFileDialog* dialog) {
                ++shown;
                for (const QString& filter : dialog->nameFilters()) {
                    if (filter.contains(QStringLiteral("*.") + type))
                        dialog->selectNameFilter(filter);
                }
                auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                const QString base = QFileInfo(edit->text()).completeBaseName();
                dialog->TileLayersBox()->setChecked(false);
                if (saveRest && dialog->SaveRestBox())
                    dialog->SaveRestBox()->setChecked(true);
                edit->setText(QDir(folder).filePath(base + u'.' + type));
                dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                    ->button(QDialogButtonBox::Save)
                    ->click();
            });
    }

    static constexpr int kWatchdogMs = 150000;

    QTemporaryDir m_work;
    CSerializerList m_registry;
    QTimer m_watchdog;
};
