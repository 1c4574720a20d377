#include "platform/ui/UiServices.h"

namespace sonvale::ui {

namespace {
UiServices* g_current = nullptr; // main thread only
} // namespace

std::vector<FilterEntry> parseDialogFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= filter.size()) {
        const auto bar = filter.find('|', start);
        if (bar == std::string::npos) {
            parts.push_back(filter.substr(start));
            break;
        }
        parts.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<FilterEntry> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty())
            continue;
        entries.push_back({parts[i], parts[i + 1]});
    }
    return entries;
}

std::string withDefaultExtension(const std::string& path, const std::string& defaultExtension) {
    if (defaultExtension.empty() || path.empty())
        return path;
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return path;
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0 && dot + 1 < name.size())
        return path;
    std::string ext = defaultExtension;
    if (ext.front() != '.')
        ext.insert(ext.begin(), '.');
    if (!name.empty() && name.back() == '.')
        ext.erase(ext.begin());
    return path + ext;
}

UiServices* currentUiServices() {
    return g_current;
}

void setCurrentUiServices(UiServices* services) {
    g_current = services;
}

void processPendingMessages() {
    if (g_current)
        g_current->processMessages();
}

} // namespace sonvale::ui
