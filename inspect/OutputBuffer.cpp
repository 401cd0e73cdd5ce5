#include "inspect/OutputBuffer.h"

#include "platform/Platform.h"

namespace inspect {
namespace {

void PrintToConsole(std::wstring_view text, void* /*context*/) { platform::PrintText(text); }

}  // namespace

OutputBuffer::OutputBuffer() : sink_(PrintToConsole) {}

void OutputBuffer::FlushWhenFull() {
    if (text_.size() >= kFlushCharacters) Flush();
}

void OutputBuffer::Flush() {
    if (!text_.empty()) sink_(text_, context_);
    text_.clear();
}

}  // namespace inspect
