#pragma once

#include <QString>
#include <QStringList>

// The commands that talk to the app: each listens on `port`, waits for the
// app, checks its protocol version and returns the tool's exit status
// (0: everything done, 1: something failed, each failure on its own line).

struct CPullOptions {
    quint16 nPort = 3210;
    QString strFolder;
    QString strFormat = QStringLiteral("png"); // png, kom or ksd
    bool bTileLayers = false;
    bool bOverwrite = false;
};

// Downloads every drawing into the folder as <name>.<format>: through the
// same export as the window's save, or as the document bytes received for
// ksd. Existing files are kept (a numbered name is chosen) unless
// bOverwrite; a failure does not stop the others.
int RunPull(const CPullOptions& options);

struct CPushOptions {
    quint16 nPort = 3210;
    QStringList files;
    // What happens when the app already holds a drawing of that name: by
    // default nothing is sent; bOverwrite replaces it, bRename uploads under
    // the app's alternative name.
    bool bOverwrite = false;
    bool bRename = false;
};

// Uploads the files with the checks and texts of the window's upload, then
// prints the app's list of drawings on stdout.
int RunPush(const CPushOptions& options);
