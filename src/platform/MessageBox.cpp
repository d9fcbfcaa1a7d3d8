// Modal error boxes with the caption "Torvane Error" and an OK button.
#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

#include "platform/Cp1252.h"

namespace platform {
namespace {

std::mutex sinkMutex;
ErrorSink& Sink() {
    static ErrorSink sink;
    return sink;
}

void ToStandardError(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kErrorCaption, Cp1252ToUtf8(text).c_str());
}

}  // namespace

void ShowErrorBox(const std::string& text) {
    ErrorSink sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = Sink();
    }
    if (sink) {
        sink(text);
    } else {
        ToStandardError(text);
    }
}

ErrorSink SetErrorSink(ErrorSink sink) {
    std::lock_guard lock(sinkMutex);
    ErrorSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

}  // namespace platform
