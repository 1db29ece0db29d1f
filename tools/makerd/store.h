// The folder of published files. Its names are made by `makerd publish` and
// are never paths; a name starting with '.' is a file on its way in.
#pragma once

#include <string>

// Makes `dir` when it is missing (one level) and checks that it is a folder.
bool store_prepare(const std::string& dir, std::string* error);

// Whether `name` can be a stored name: not empty, no '/', '\\' or "..", no leading '.'.
bool store_name_safe(const std::string& name);

// The path of the stored file `name`.
std::string store_path(const std::string& dir, const std::string& name);
