// Feeds arbitrary bytes to the settings-file text as if they were read from
// disk, looks up the sections and keys the bytes name, sets one of them and
// checks that the write changes that value only and survives being saved
// and read again.
#include "FuzzRequire.h"
#include "base/ProfileText.h"

#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

// A few names to look up: those the program uses and those the lines hint
// at, bracketed or not, before any '='.
QStringList NameCandidates(const QStringList& lines) {
    QStringList names = {QStringLiteral("FileDlg"), QStringLiteral("General"), QString()};
    for (const QString& line : lines) {
        if (names.size() >= 8)
            break;
        QString name = line.left(line.indexOf(u'=')).trimmed();
        if (name.startsWith(u'[') && name.endsWith(u']'))
            name = name.mid(1, name.size() - 2);
        names.append(name);
    }
    return names;
}

bool SameName(const QString& a, const QString& b) {
    return QStringView(a).trimmed().compare(QStringView(b).trimmed(), Qt::CaseInsensitive) == 0;
}

// A text that decoded exactly must have been a valid encoding of the whole
// input, so that writing it back loses nothing.
bool IsValidEncoding(const QByteArray& data) {
    const std::optional<QStringConverter::Encoding> marked =
        QStringConverter::encodingForData(data);
    QStringDecoder decoder(marked.value_or(QStringConverter::Utf8),
                           QStringConverter::Flag::Stateless);
    decoder.decode(data);
    return !decoder.hasError();
}

std::optional<CProfileText> SavedAndRead(const CProfileText& text) {
    const std::optional<QByteArray> bytes = text.Encode();
    if (!bytes)
        return {};
    return CProfileText::Decode(*bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const CProfileText text = CProfileText::Decode(bytes);
    if (!text.IsExact())
        return 0; // read only: the program never rewrites such a file
    Require(bytes.isEmpty() || IsValidEncoding(bytes));

    const std::optional<CProfileText> reread = SavedAndRead(text);
    Require(reread && reread->IsExact() && reread->GetLines() == text.GetLines());

    const QStringList names = NameCandidates(text.GetLines());
    QList<std::pair<QString, QString>> pairs;
    QList<std::optional<QString>> before;
    for (const QString& section : names) {
        for (const QString& key : names) {
            pairs.append({section, key});
            before.append(text.GetValue(section, key));
        }
    }

    // One of the pairs gets a value taken from the text: anything a line
    // can hold, quotes and white space included.
    const auto& [section, key] = pairs[qsizetype(size % size_t(pairs.size()))];
    const QString value = text.GetLines().isEmpty() ? QString() : text.GetLines().last();
    CProfileText changed = text;
    if (!changed.SetValue(section, key, value)) {
        Require(changed.GetLines() == text.GetLines());
        return 0;
    }
    Require(changed.GetValue(section, key) == value);
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        if (!(SameName(pairs[i].first, section) && SameName(pairs[i].second, key)))
            Require(changed.GetValue(pairs[i].first, pairs[i].second) == before[i]);
    }

    const std::optional<CProfileText> saved = SavedAndRead(changed);
    Require(saved && saved->IsExact() && saved->GetLines() == changed.GetLines());
    Require(saved->GetValue(section, key) == value);
    return 0;
}
