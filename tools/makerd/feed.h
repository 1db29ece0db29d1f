// The update information that the installed program reads (update/update_info.h):
// one record per product, for its newest release only, each field
//
//   0x16 <type digit> <value> CR LF
//
// '1' "<company> <product>", '2' version, '3' web page, '4' download URL, '5'
// signature (when the release has one), and '0' with no value to end it.
#pragma once

#include <string>
#include <vector>

#include "releases.h"

// Why the program could not read the record of `release` (a value too long for
// its buffers, a byte below 0x20 that would end a value early, a version that
// it reads as no number), or "" when it can. An empty `download_url` is not checked.
std::string feed_release_problem(const Release& release, const std::string& download_url);

// Where the program downloads `stored_name`: `public_url` ends with '/'.
std::string feed_download_url(const std::string& public_url, const std::string& stored_name);

// The update information for `releases` (in publish order). A product's newest
// release is the one whose version update_version_number reads highest, the
// later published of equals; products are matched as the program matches
// them, ignoring the case of ASCII letters. A release whose record the program
// could not read is left out (one such record would hide every later one),
// with its name and reason added to `skipped`.
std::string feed_build(const std::vector<Release>& releases, const std::string& public_url,
                       std::vector<std::string>* skipped);
