#pragma once

#include <QString>

// The name in Unicode normalisation form C. The app may store names with
// separate voicing marks (decomposed kana); the desktop shows and sorts the
// composed form, so a file name offered to the user is composed first.
QString NormalizeFileName(const QString& name);

// A name that is safe to offer as a file name in a save dialog. Names come
// from the app and are not trusted: '/', '\\', NUL and every other control
// character (below U+0020, and U+007F) become '_', so the name can neither
// reach into another folder nor carry invisible characters. "." and ".."
// become "_" and "__", a leading '.' (which would hide the file) becomes
// '_', and an empty name becomes "_". A name longer than
// kMaxSafeFileNameBytes in UTF-8 is cut to fit, between two characters.
// Only the offered name changes; the requests to the app keep carrying the
// name exactly as the app listed it.
QString MakeSafeFileName(const QString& name);

// File systems take names of up to 255 bytes; the rest leaves room for an
// extension and a number that tells files of the same name apart.
constexpr qsizetype kMaxSafeFileNameBytes = 200;

// A name as a message or a button shows it. The app's names are not
// trusted to be short, and laying out a text grows with its length, so a
// name longer than kMaxShownNameLength characters is shown as its start and
// its end around an ellipsis, never cutting a surrogate pair.
QString ShortenedForDisplay(const QString& name);
constexpr qsizetype kMaxShownNameLength = 100;

// The extension of the path's last component, from its last '.', dot
// included; empty when that component has none. Both '/' and '\\' end
// folder names.
QString ExtensionOf(const QString& path);
// The path without that extension.
QString RemoveExtension(const QString& path);
// The path with that extension replaced by `extension`, or with `extension`
// appended when there is none.
QString ReplaceExtension(const QString& path, const QString& extension);

// `folder`/`baseName``extension` when no file of that name exists, otherwise
// the first of `baseName`_2, _3, ... under which none does.
QString FreeFilePath(const QString& folder, const QString& baseName, const QString& extension);
