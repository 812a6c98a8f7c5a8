#include "DynaBuffer.h"

#include <cstdlib>
#include <cstring>

DynaBuffer::DynaBuffer(int n) {
    if (n != 0) ensure(n);
}

DynaBuffer::~DynaBuffer() {
    DynaBuffer::free();
}

float* DynaBuffer::ensure(int n) {
    return allocate(n);
}

float* DynaBuffer::newBlock(int n) {
    free();
    void* p = nullptr;
    if (posix_memalign(&p, 16, static_cast<std::size_t>(n) * sizeof(float)) != 0) return nullptr;
    buffer = static_cast<float*>(p);
    size = n;
    clear();
    return buffer;
}

float* DynaBuffer::allocate(int n) {
    if (n == size) return buffer;
    if (n < 1) {
        free();
        return buffer;
    }
    if (n > size) return newBlock(n);
    return buffer;
}

float* DynaBuffer::readjust(int n) {
    if (n == size) return buffer;
    if (n <= 0) {
        free();
        return buffer;
    }
    return newBlock(n);
}

void DynaBuffer::clear() {
    if (buffer) std::memset(buffer, 0, static_cast<std::size_t>(size) * sizeof(float));
}

void DynaBuffer::free() {
    if (size != 0) {
        std::free(buffer);
        buffer = nullptr;
        size = 0;
    }
}
