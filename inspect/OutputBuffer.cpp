#include "inspect/OutputBuffer.h"

#include "platform/Platform.h"

namespace inspect {
namespace {

void PrintToConsole(std::string_view text, void* /*context*/) { platform::PrintUtf8(text); }

}  // namespace

OutputBuffer::OutputBuffer() : sink_(PrintToConsole) {}

void OutputBuffer::FlushWhenFull() {
    if (text_.size() >= kFlushBytes) Flush();
}

void OutputBuffer::Flush() {
    if (!text_.empty()) sink_(text_, context_);
    text_.clear();
}

}  // namespace inspect
