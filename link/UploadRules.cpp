#include "link/UploadRules.h"

#include "base/FileNameText.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "link/TransferPackets.h"
#include "model/KSData.h"

#include <QFileInfo>

namespace {

constexpr int kMaxNameLength = 50;

struct CLimits {
    int nWidth;
    int nHeight;
    int nLayers;
    qint64 nBufferBytes; // 0: not checked
};

CLimits LimitsOf(int protocolVersion) {
    if (protocolVersion >= 4)
        return {1024, 1024, 128, 0x1400000};
    if (protocolVersion >= 2)
        return {320, 480, 128, 1536000};
    return {320, 480, 10, 0};
}

// A message and the hint the box shows on its second line.
QString WithHint(int messageId, int hintId) {
    return LoadStringResource(messageId) + u'\n' + LoadStringResource(hintId);
}

} // namespace

QString UploadNameOf(const QString& path) {
    return RemoveExtension(QFileInfo(path).fileName());
}

QString CheckUploadName(const QString& name, int protocolVersion) {
    if (protocolVersion >= 3 && name.size() > kMaxNameLength)
        return WithHint(IDS_NAME_TOO_LONG, IDS_NAME_TOO_LONG_HINT);
    return {};
}

QString CheckUploadLimits(const CKSData& document, int protocolVersion) {
    const CLimits limits = LimitsOf(protocolVersion);
    if (document.m_nWidth > limits.nWidth || document.m_nHeight > limits.nHeight)
        return FormatDirectives(LoadStringResource(IDS_IMAGE_TOO_LARGE),
                                {limits.nWidth, limits.nHeight});
    const int layers = document.GetLayerCount();
    if (layers > limits.nLayers)
        return FormatDirectives(LoadStringResource(IDS_TOO_MANY_LAYERS), {limits.nLayers});
    const qint64 bytes = qint64(document.m_nWidth) * document.m_nHeight * layers;
    if (limits.nBufferBytes != 0 && bytes > limits.nBufferBytes)
        return WithHint(IDS_IMAGE_BUFFER_TOO_LARGE, IDS_IMAGE_BUFFER_HINT);
    return {};
}

std::optional<QString>
PrepareUpload(const QString& path, int protocolVersion, CKSData& document,
              const std::function<bool(CKSData&, const QString&)>& readFile) {
    const QString name = UploadNameOf(path);
    if (const QString refusal = CheckUploadName(name, protocolVersion); !refusal.isEmpty()) {
        ShowMessage(refusal);
        return std::nullopt;
    }
    // Linux file names may hold line breaks and NUL, which cannot travel in
    // a request line.
    if (!IsSendableName(WideToUtf8(name))) {
        ShowMessage(FormatStringResource(IDS_NAME_NOT_SENDABLE, {QFileInfo(path).fileName()}));
        return std::nullopt;
    }
    if (!readFile(document, path))
        return std::nullopt;
    if (const QString refusal = CheckUploadLimits(document, protocolVersion); !refusal.isEmpty()) {
        ShowMessage(refusal);
        return std::nullopt;
    }
    return name;
}
