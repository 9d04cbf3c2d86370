#include "ui/ResourceFinder.h"

#include <utility>

#include "res/Resources.h"

namespace ui {

namespace {

ResourceFinder& CurrentFinder() {
    static ResourceFinder finder;
    return finder;
}

}  // namespace

std::span<const unsigned char> FindProgramResource(std::string_view name, std::string_view type) {
    if (CurrentFinder()) return CurrentFinder()(name, type);
    return res::FindResource(name, type);
}

void SetResourceFinder(ResourceFinder finder) {
    CurrentFinder() = std::move(finder);
}

}  // namespace ui
