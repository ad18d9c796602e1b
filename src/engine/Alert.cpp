// The alert hook.
#include "engine/Alert.h"

#include <atomic>
#include <cstdio>

namespace tolvi {
namespace {

void WriteToStderr(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::atomic<AlertHandler> handler{WriteToStderr};

}  // namespace

void SetAlertHandler(AlertHandler h) {
    handler.store(h ? h : WriteToStderr);
}

void ShowAlert(const std::string& text) {
    handler.load()(text);
}

}  // namespace tolvi
