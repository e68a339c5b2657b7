#pragma once

#include <QtGlobal>

// Takes the value of one reply line while it arrives, so a large value (a
// document in hexadecimal) is processed piece by piece instead of being kept
// whole until its line feed.
class IValueStream {
public:
    virtual ~IValueStream() = default;
    // The next bytes of the value: everything after the line's first colon,
    // in order, without the line feed.
    virtual void AppendValue(const char* pData, qsizetype nBytes) = 0;
};
