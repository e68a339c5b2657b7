#pragma once

#include <QByteArray>
#include <QtEndian>

// Every integer in the program's file formats is stored little-endian. These
// are the one set of helpers that read and write such values in byte
// buffers; the file layer (CFileUtility) reads and writes streams with them.
namespace LittleEndian {

// The value of type T stored at `source`.
template <typename T> T Get(const void* source) {
    return qFromLittleEndian<T>(source);
}

// The value of type T stored at `offset` of `data`; the caller has checked
// that sizeof(T) bytes are there.
template <typename T> T At(const QByteArray& data, qsizetype offset) {
    return Get<T>(data.constData() + offset);
}

template <typename T> void Put(void* target, T value) {
    qToLittleEndian<T>(value, target);
}

// Overwrites sizeof(T) bytes of `data` at `offset`.
template <typename T> void PutAt(QByteArray& data, qsizetype offset, T value) {
    Put<T>(data.data() + offset, value);
}

template <typename T> void Append(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    Put<T>(bytes, value);
    out.append(bytes, qsizetype(sizeof(T)));
}

// `count` values from `source` in stored order into `target` in host order;
// the two may be the same buffer.
template <typename T> void GetAll(const void* source, qsizetype count, T* target) {
    qFromLittleEndian<T>(source, count, target);
}

template <typename T> void PutAll(const T* source, qsizetype count, void* target) {
    qToLittleEndian<T>(source, count, target);
}

} // namespace LittleEndian
