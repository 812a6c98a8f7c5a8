#pragma once

// Heap array of floats aligned to 16 bytes; storage of every spectral object.
class DynaBuffer {
public:
    explicit DynaBuffer(int n = 0);
    virtual ~DynaBuffer();

    DynaBuffer(const DynaBuffer&) = delete;
    DynaBuffer& operator=(const DynaBuffer&) = delete;

    virtual float* getBuffer() { return buffer; }
    virtual int getSize() const { return size; }
    // Grow-only: a smaller request keeps the larger block.
    virtual float* ensure(int n);
    virtual float* allocate(int n);
    // Exact size: grows or shrinks, contents are lost.
    virtual float* readjust(int n);
    virtual void clear();
    virtual void free();

    float& operator[](int i) { return buffer[i]; }
    const float& operator[](int i) const { return buffer[i]; }

private:
    float* newBlock(int n);

    int size = 0;
    float* buffer = nullptr;
};
