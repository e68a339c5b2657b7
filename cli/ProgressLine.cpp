#include "cli/ProgressLine.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"

#include <cstdio>
#include <unistd.h>

namespace {

void Write(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

CProgressLine::CProgressLine() : m_bTerminal(isatty(fileno(stderr)) != 0) {}

void CProgressLine::Begin(int nIndex, int nCount, const QString& name) {
    m_nIndex = nIndex;
    m_nCount = nCount;
    m_strName = name;
    m_bDrawn = false;
    Draw(0);
}

void CProgressLine::OnProgress(qint64 nSent, qint64 nReceived) {
    if (m_sinceDraw.isValid() && m_sinceDraw.elapsed() < 100)
        return;
    Draw(nSent + nReceived);
}

void CProgressLine::Draw(qint64 nBytes) {
    if (!m_bTerminal)
        return;
    // Back to the start of the line and clear it.
    Write(QStringLiteral("\r\x1b[K") +
          FormatStringResource(IDS_TOOL_PROGRESS, {m_nIndex, m_nCount, m_strName, nBytes}));
    m_bDrawn = true;
    m_sinceDraw.start();
}

void CProgressLine::Finish(const QString& text) {
    Write((m_bDrawn ? QStringLiteral("\r\x1b[K") : QString()) + text + u'\n');
    m_bDrawn = false;
}
