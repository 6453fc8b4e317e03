// Module start and stop: window support, the registry lock, the settings file's path, loading and saving.
#include "plugin/module.h"

#include "bar/window_support.h"
#include "plugin/bar_registry.h"
#include "settings/ini_document.h"
#include "settings/settings_paths.h"
#include "settings/text_encoding.h"

namespace {

IniDocument settingsStore;

}  // namespace

void ModuleStart(HINSTANCE instance) {
    StartWindowSupport(instance);
    (void)StartBarRegistry(&settingsStore);
    InitModulePaths(instance);
    settingsStore.Load(pluginIniPath);
    // Whatever the file was written in, it goes back as UTF-8 without a byte-order mark.
    settingsStore.encoding = Utf8;
}

void ModuleStop(bool processEnding) {
    int32_t encoding = settingsStore.encoding;
    if (encoding == Unset || encoding == NotText) {
        encoding = Utf8;
    }
    settingsStore.Save(settingsStore.path, encoding);
    StopBarRegistry(processEnding);
    StopWindowSupport();
}
