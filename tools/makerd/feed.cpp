#include "feed.h"

#include <map>
#include <tuple>

#include "update/update_info.h"

namespace {

bool feed_is_digit(char c) {
    return c >= '0' && c <= '9';
}

// What update_version_number reads from `version`.
double feed_version_number(const std::string& version) {
    std::vector<char> text(version.begin(), version.end());
    text.push_back('\0');
    double number = 0.0;
    update_version_number(&number, text.data());
    return number;
}

std::string feed_value_problem(const char* what, const std::string& value, int size) {
    if (value.size() >= static_cast<size_t>(size)) {
        return std::string(what) + " is longer than " + std::to_string(size - 1) + " characters";
    }
    for (unsigned char c : value) {
        if (c < 0x20) {
            return std::string(what) + " holds the control character " + std::to_string(c);
        }
    }
    return "";
}

void feed_field(std::string* feed, char type, const std::string& value) {
    *feed += static_cast<char>(UPDATE_FIELD_MARK);
    *feed += type;
    *feed += value;
    *feed += "\r\n";
}

std::string feed_lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

std::string feed_release_problem(const Release& release, const std::string& download_url) {
    size_t digits = 0;
    while (digits < release.version.size() &&
           (feed_is_digit(release.version[digits]) || release.version[digits] == '.')) {
        ++digits;
    }
    if (release.version.substr(0, digits).find_first_of("0123456789") == std::string::npos) {
        return "the version '" + release.version +
               "' does not start with a number, which is all the program reads of it";
    }
    if (release.company.empty() || release.product.empty()) {
        return "the company and the product must both be given";
    }
    std::string key = release.company + " " + release.product;
    const std::tuple<const char*, const std::string*, int> values[] = {
        {"the company and product", &key, UPDATE_KEY_SIZE},
        {"the version", &release.version, UPDATE_VERSION_SIZE},
        {"the web page", &release.page, UPDATE_URL_SIZE},
        {"the signature", &release.signature, UPDATE_URL_SIZE},
        {"the download URL", &download_url, UPDATE_URL_SIZE},
    };
    for (const auto& [what, value, size] : values) {
        std::string problem = feed_value_problem(what, *value, size);
        if (!problem.empty()) {
            return problem;
        }
    }
    return "";
}

std::string feed_download_url(const std::string& public_url, const std::string& stored_name) {
    return public_url + "download/" + stored_name;
}

std::string feed_build(const std::vector<Release>& releases, const std::string& public_url,
                       std::vector<std::string>* skipped) {
    std::map<std::string, std::pair<double, const Release*>> newest;
    for (const Release& release : releases) {
        std::string problem =
            feed_release_problem(release, feed_download_url(public_url, release.stored_name));
        if (!problem.empty()) {
            skipped->push_back(release.stored_name + ": " + problem);
            continue;
        }
        double number = feed_version_number(release.version);
        auto [at, added] = newest.emplace(feed_lower(release.company + " " + release.product),
                                          std::make_pair(number, &release));
        if (!added && number >= at->second.first) {
            at->second = {number, &release};
        }
    }
    std::string feed;
    for (const auto& entry : newest) {
        const Release& release = *entry.second.second;
        feed_field(&feed, '1', release.company + " " + release.product);
        feed_field(&feed, '2', release.version);
        feed_field(&feed, '3', release.page);
        feed_field(&feed, '4', feed_download_url(public_url, release.stored_name));
        if (!release.signature.empty()) {
            feed_field(&feed, '5', release.signature);
        }
        feed_field(&feed, '0', "");
    }
    return feed;
}
