#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class CDeviceStore;

// One answered request: the reply line and what the log shows of it.
struct CReply {
    QByteArray m_command; // the request's name; the whole line when it has no colon
    QByteArray m_name;    // the drawing name the request carried, if any
    QByteArray m_line;    // the reply, line feed included
    QString m_summary;    // the outcome for the log: "ok (1234 bytes)", "error:3 (not found)"

    bool IsOk() const { return m_line.startsWith("ok:"); }
};

// Answers the utility's requests as the app does, from the drawings of a
// store: one reply line per request line.
class CRequestHandler {
public:
    CRequestHandler(const CDeviceStore& store, int protocolVersion)
        : m_store(store), m_nProtocolVersion(protocolVersion) {}

    // Answers one request line (without its line feed).
    CReply Handle(QByteArrayView line) const;

private:
    void GetProtVer(CReply& reply) const;
    void GetFileList(CReply& reply) const;
    void GetThumb(CReply& reply) const;
    void GetFile(CReply& reply) const;
    void IsOverwrite(CReply& reply) const;
    void SetFile(CReply& reply, QByteArrayView argument) const;
    void DeleteFile(CReply& reply) const;

    const CDeviceStore& m_store;
    int m_nProtocolVersion;
};
