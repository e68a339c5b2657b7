#pragma once

#include <QtGlobal>

// How the program treats the large buffers of a transfer (documents, their
// hexadecimal lines, layers), which are allocated and freed for every
// drawing. On the systems measured, first touching fresh memory costs far
// more than the work done in it (a 42 MB line: a quarter of a second of
// page faults, against a few milliseconds once the pages are resident).

// Called once at start: freed blocks up to 32 MB stay in the heap, so the
// next drawing of a command reuses resident memory instead of mapping new.
void KeepLargeBuffersResident();
// Gives the memory kept that way back to the system; called when a command
// has ended, so an idle program does not hold what its last transfer used.
void ReleaseKeptBuffers();
// Calls ReleaseKeptBuffers when a command's scope ends, however it ends.
class CReleaseKeptBuffersAtEnd {
public:
    CReleaseKeptBuffersAtEnd() = default;
    ~CReleaseKeptBuffersAtEnd() { ReleaseKeptBuffers(); }
    CReleaseKeptBuffersAtEnd(const CReleaseKeptBuffersAtEnd&) = delete;
    CReleaseKeptBuffersAtEnd& operator=(const CReleaseKeptBuffersAtEnd&) = delete;
};

// Asks the system to back the whole 2 MiB pages inside a buffer larger
// than the heap keeps (a SetFile or download line) with huge pages: a few
// dozen page faults instead of ten thousand. Only a hint.
void PreferHugePages(void* pData, qsizetype nBytes);
