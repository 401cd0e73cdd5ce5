// Output gathered into large pieces before it reaches the console, so that a
// listing of many entries costs few writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inspect {

class OutputBuffer {
public:
    using Sink = void (*)(std::string_view text, void* context);

    // Prints to standard output through the platform.
    OutputBuffer();
    // Hands every piece to sink instead.
    OutputBuffer(Sink sink, void* context) : sink_(sink), context_(context) {}

    // The UTF-8 text gathered so far; append whole lines to it.
    std::string& Text() { return text_; }
    // Hands the gathered text on once it is long. Called between lines only,
    // so that a character is never split.
    void FlushWhenFull();
    void Flush();

private:
    static constexpr std::size_t kFlushBytes = 1 << 16;
    Sink sink_;
    void* context_ = nullptr;
    std::string text_;
};

}  // namespace inspect
