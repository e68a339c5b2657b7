#pragma once

#include <QString>

// Identifiers of the program's string table. Every user-facing text that the
// program shows comes from here, exactly as the app's users know it.
enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_CONNECT_INSTRUCTIONS = 102,
    IDS_SOCKETS_INIT_FAILED = 103,
    IDS_SOCKET_ERROR_CODE = 104,
    IDS_COLUMN_FILENAME = 105,
    IDS_CONNECTION_ACCEPTED = 106,
    IDS_DISCONNECTED = 107,
    IDS_WAIT_FILE_LIST = 108,
    IDS_SOCKET_ERROR_TEXT = 109,
    IDS_WAIT_GET_FILE = 110,
    IDS_HASH_MISMATCH = 111,
    IDS_FILTER_ALL_SUPPORTED = 112,
    IDS_PNG_DESCRIPTION = 113,
    IDS_KOM_DESCRIPTION = 114,
    IDS_FORMAT_NOT_SUPPORTED = 115,
    IDS_EXPORT_FAILED = 116,
    IDS_TOO_MANY_COLORS = 117,
    IDS_IMPORT_FAILED = 118,
    IDS_IMAGE_TOO_LARGE = 119,
    IDS_TOO_MANY_LAYERS = 120,
    IDS_WAIT_SET_FILE = 121,
    IDS_WAIT_VERSION = 122,
    IDS_VERSION_TOO_NEW = 123,
    IDS_OVERWRITE_QUESTION = 124,
    IDS_SAVE_AS_NAME = 125,
    IDS_COLUMN_UPDATED = 126,
    IDS_COLUMN_SIZE = 127,
    IDS_DELETE_QUESTION = 128,
    IDS_WAIT_DELETE = 129,
    IDS_ERROR_REPLY = 130,
    IDS_UNKNOWN_PACKET = 131,
    IDS_FILE_NOT_FOUND = 132,
    IDS_IMAGE_BUFFER_TOO_LARGE = 133,
    IDS_NAME_TOO_LONG = 134,
};

// The text of a string-table entry; empty for an id the table does not hold.
QString LoadStringResource(int id);
