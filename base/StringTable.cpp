#include "base/StringTable.h"

#include <QHash>

namespace {

const QHash<int, QString>& Table() {
    static const QHash<int, QString> table = {
        {IDS_ABOUTBOX, QStringLiteral(u"バージョン情報(&A)...")},
        {IDS_CONNECT_INSTRUCTIONS,
         QStringLiteral(u"以下の設定で KomaSlate から接続を行ってください。%nIPアドレス: "
                        u"%1!s!%nポート: %2!d!%n")},
        {IDS_SOCKETS_INIT_FAILED, QStringLiteral(u"Windows ソケットの初期化に失敗しました。")},
        {IDS_SOCKET_ERROR_CODE,
         QStringLiteral(u"ソケットエラーが発生しました: エラーコード %1!d!%n")},
        {IDS_COLUMN_FILENAME, QStringLiteral(u"ファイル名")},
        {IDS_CONNECTION_ACCEPTED, QStringLiteral(u"接続を受け付けました。%n")},
        {IDS_DISCONNECTED, QStringLiteral(u"切断しました。%n")},
        {IDS_WAIT_FILE_LIST, QStringLiteral(u"ファイルの一覧を取得しています。%n")},
        {IDS_SOCKET_ERROR_TEXT, QStringLiteral(u"ソケットエラーが発生しました: %1!s!%n")},
        {IDS_WAIT_GET_FILE, QStringLiteral(u"ファイルを受信しています。%n")},
        {IDS_HASH_MISMATCH, QStringLiteral(u"ハッシュ値が異なります。")},
        {IDS_FILTER_ALL_SUPPORTED, QStringLiteral(u"対応したすべての形式")},
        {IDS_PNG_DESCRIPTION, QStringLiteral(u"PNG - Portable Network Graphics")},
        {IDS_KOM_DESCRIPTION, QStringLiteral(u"KOM - Koma Pixel Editor")},
        {IDS_FORMAT_NOT_SUPPORTED, QStringLiteral(u"このファイル形式には対応していません。")},
        {IDS_EXPORT_FAILED, QStringLiteral(u"画像の書き出しに失敗しました。")},
        {IDS_TOO_MANY_COLORS, QStringLiteral(u"256色を超える色数の画像は読み込めません。")},
        {IDS_IMPORT_FAILED, QStringLiteral(u"画像の読み込みに失敗しました。")},
        {IDS_IMAGE_TOO_LARGE, QStringLiteral(u"画像サイズが上限（%d x %d）を超えています。")},
        {IDS_TOO_MANY_LAYERS, QStringLiteral(u"レイヤ数が上限（%d）を超えています。")},
        {IDS_WAIT_SET_FILE, QStringLiteral(u"ファイルを送信しています。%n")},
        {IDS_WAIT_VERSION, QStringLiteral(u"バージョンを確認しています。")},
        {IDS_VERSION_TOO_NEW,
         QStringLiteral(u"KomaSlate Utility のバージョンが古い可能性があります。%n切断します。")},
        {IDS_OVERWRITE_QUESTION, QStringLiteral(u"%1!s! は既に存在しています。%n上書きしますか？")},
        {IDS_SAVE_AS_NAME, QStringLiteral(u"%1!s! という名前で保存")},
        {IDS_COLUMN_UPDATED, QStringLiteral(u"更新日時")},
        {IDS_COLUMN_SIZE, QStringLiteral(u"サイズ")},
        {IDS_DELETE_QUESTION, QStringLiteral(u"%1!s! を削除します。%nよろしいですか？")},
        {IDS_WAIT_DELETE, QStringLiteral(u"ファイルを削除しています。%n")},
        {IDS_ERROR_REPLY, QStringLiteral(u"エラーが発生しました。%nエラーコード: %1!d!")},
        {IDS_UNKNOWN_PACKET, QStringLiteral(u"不明なパケットを受信しました。")},
        {IDS_FILE_NOT_FOUND, QStringLiteral(u"ファイルが見つかりませんでした。")},
        {IDS_IMAGE_BUFFER_TOO_LARGE, QStringLiteral(u"画像バッファサイズが上限を超えています。")},
        {IDS_NAME_TOO_LONG, QStringLiteral(u"ファイル名の長さが上限(50文字)を超えています。")},
        {IDS_PNG_CREATE_FAILED, QStringLiteral(u"PNG構造体を作成出来ませんでした。")},
        {IDS_PNG_INIT_FAILED, QStringLiteral(u"PNG構造体を初期化出来ませんでした。")},
        {IDS_PNG_READ_FAILED, QStringLiteral(u"PNG画像を読み込めませんでした。")},
        {IDS_PNG_WRITE_FAILED, QStringLiteral(u"PNG画像を書き出せませんでした。")},
        {IDS_PNG_DEEPER_THAN_8_BITS,
         QStringLiteral(u"8ビットを超えるPNG画像には現在対応していません。")},
        {IDS_FILE_OPEN_FAILED, QStringLiteral(u"ファイルをオープン出来ませんでした。")},
        {IDS_FILE_CANNOT_OPEN, QStringLiteral(u"ファイルを開けませんでした。")},
        {IDS_PNG_SETUP_FAILED, QStringLiteral(u"PNG構造体の初期化に失敗しました。")},
        {IDS_COLOR_TYPE_UNSUPPORTED, QStringLiteral(u"カラータイプ %s には未対応です。")},
        {IDS_NOT_KOMA2, QStringLiteral(u"このファイルはKOMA2形式ではありません。")},
        {IDS_COMPRESSION_UNSUPPORTED, QStringLiteral(u"この圧縮モードには対応していません。")},
        {IDS_INFLATE_FAILED, QStringLiteral(u"圧縮データ展開中にエラーが発生しました。")},
        {IDS_ZLIB_INIT_FAILED, QStringLiteral(u"ライブラリの初期化に失敗しました。")},
        {IDS_LINE_TOO_LONG, QStringLiteral(u"The received line is longer than %1!d! bytes.")},
        {IDS_TOO_MUCH_UNTAKEN,
         QStringLiteral(u"More than %1!d! received bytes wait to be handled.")},
        {IDS_NOT_DEVICE_DOCUMENT, QStringLiteral(u"%1!s! is not a KomaSlate device document.")},
        {IDS_UNNAMED_FILE, QStringLiteral(u"ファイル")},
        {IDS_READ_PAST_END, QStringLiteral(u"%1!s! の終わりを越えて読み込もうとしました。")},
        {IDS_WRITE_FAULT, QStringLiteral(u"%1!s! への書き込み中にエラーが発生しました。")},
        {IDS_OPEN_FAILURE, QStringLiteral(u"%1!s! を開けませんでした。%2!s!")},
        {IDS_BAD_FORMAT, QStringLiteral(u"%1!s! の形式が正しくありません。")},
        {IDS_OUT_OF_MEMORY, QStringLiteral(u"メモリが不足しています。")},
        {IDS_NAME_NOT_SENDABLE,
         QStringLiteral(u"%1!s!%nファイル名に改行などの送信できない文字が含まれています。")},
        {IDS_NAME_TOO_LONG_HINT, QStringLiteral(u"ファイル名を調節してください。")},
        {IDS_IMAGE_BUFFER_HINT, QStringLiteral(u"画像サイズまたはレイヤ数を減らしてください。")},
        {IDS_TOOL_PROGRESS, QStringLiteral(u"%1!d!/%2!d! %3!s!: %4!d! bytes")},
        {IDS_TOOL_SAVED, QStringLiteral(u"%1!d!/%2!d! %3!s! -> %4!s!")},
        {IDS_TOOL_NOT_SAVED, QStringLiteral(u"%1!s!: not saved")},
        {IDS_TOOL_NOT_UPLOADED, QStringLiteral(u"%1!s!: not uploaded")},
        {IDS_TOOL_SKIPPED,
         QStringLiteral(u"%1!s! already exists in the app; not uploaded (--overwrite replaces it, "
                        u"--rename uploads it as %2!s!).")},
        {IDS_TOOL_PULL_SUMMARY, QStringLiteral(u"%1!d! of %2!d! drawings saved.")},
        {IDS_TOOL_SUPPORTED_TYPES, QStringLiteral(u"Supported extensions: %1!s!")},
        {IDS_TOOL_UPLOADED, QStringLiteral(u"%1!s! -> %2!s!")},
    };
    return table;
}

} // namespace

QString LoadStringResource(int id) {
    return Table().value(id);
}
