// The files the console page is made of, built from web/ and embedded in the program, so that
// it serves them without a network or any file beside it.
#pragma once
#include <cstddef>
#include <string>

namespace tolvi::web {

struct Asset {
    const char* name;  // as the URL names it: /assets/<name>
    const char* contentType;
    const char* data;
    size_t size;
};

// The asset of that name; nullptr when there is none.
const Asset* FindAsset(const std::string& name);

// A page, a template that ConsolePage fills in: "console.html", "recordings.html".
const Asset& PageTemplate(const std::string& name);

}  // namespace tolvi::web
