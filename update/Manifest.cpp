#include "update/Manifest.h"

#include <json/json.h>

#include <memory>

namespace update {

namespace {

// The reader's lenient default, spelt out so that a change of library defaults cannot move it.
std::unique_ptr<Json::CharReader> lenientReader() {
    Json::CharReaderBuilder builder;
    Json::Value& s = builder.settings_;
    s["allowComments"] = true;
    s["collectComments"] = true;
    s["strictRoot"] = false;
    s["failIfExtra"] = false;
    s["rejectDupKeys"] = false;
    s["allowTrailingCommas"] = false;
    s["skipBom"] = false;
    s["allowDroppedNullPlaceholders"] = false;
    s["allowNumericKeys"] = false;
    s["allowSingleQuotes"] = false;
    s["allowSpecialFloats"] = false;
    s["stackLimit"] = 1000;
    return std::unique_ptr<Json::CharReader>(builder.newCharReader());
}

std::string memberText(const Json::Value& entry, const char* member) {
    if (!entry.isObject()) {
        return {};
    }
    const Json::Value* value = entry.find(member, member + std::char_traits<char>::length(member));
    if (value == nullptr) {
        return {};
    }
    switch (value->type()) {
    case Json::stringValue:
        return value->asString();
    case Json::booleanValue:
        return value->asBool() ? "true" : "false";
    default:
        return {};
    }
}

} // namespace

std::string manifestText(std::string_view firstRead) {
    std::string_view text = firstRead.substr(0, kManifestReadSize);
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    return std::string(text);
}

ManifestEntry readManifestEntry(std::string_view firstRead, std::string_view productKey) {
    ManifestEntry entry;
    const std::string text = manifestText(firstRead);
    Json::Value document;
    try {
        std::string errors;
        // The outcome is not consulted: the lookups see whatever the parser built.
        lenientReader()->parse(text.data(), text.data() + text.size(), &document, &errors);
    } catch (const std::exception&) {
        return entry; // nesting beyond the reader's limit: no document at all
    }
    if (!document.isObject()) {
        return entry;
    }
    const Json::Value* product =
        document.find(productKey.data(), productKey.data() + productKey.size());
    if (product == nullptr || !product->isArray() || product->empty()) {
        return entry;
    }
    const Json::Value& first = (*product)[Json::ArrayIndex{0}];
    entry.version = memberText(first, "Version");
    entry.newestVersion = memberText(first, "Nversion");
    entry.updateUrl = memberText(first, "Update_URL");
    return entry;
}

bool isUpdateAvailable(std::string_view newestVersion, std::string_view installedVersion) {
    return newestVersion != installedVersion;
}

std::string manifestUrl(const std::string& hostAndPort) {
    return "http://" + hostAndPort + kManifestPath;
}

} // namespace update
