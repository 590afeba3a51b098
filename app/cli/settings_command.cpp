#include "app/cli/commands.h"
#include "engine/conversion_settings.h"

#include <iostream>

namespace velmora::cli {
namespace {

std::string typeName(RegistryStore::ValueType type) {
    return type == RegistryStore::ValueType::Dword ? "dword" : "sz";
}

int reportUnwritable() {
    std::cerr << "velmora-cli: the settings file " << RegistryStore::defaultFile().string()
              << " could not be written\n";
    return kExitFailed;
}

int listSettings(const ConversionSettings& settings) {
    for (const auto& value : settings.listValues())
        std::cout << value.name << '\t' << typeName(value.type) << '\t' << value.value << '\n';
    return kExitOk;
}

int getSetting(const ConversionSettings& settings, const std::string& name) {
    const auto value = settings.getValue(name);
    if (!value)
        return usageError("settings: unknown setting " + name);
    std::cout << value->value << '\n';
    return kExitOk;
}

int setSetting(ConversionSettings& settings, const std::string& name, const std::string& text) {
    switch (settings.setValue(name, text)) {
    case ConversionSettings::SetResult::UnknownName:
        return usageError("settings: unknown setting " + name);
    case ConversionSettings::SetResult::BadValue:
        return usageError("settings: " + text + " is not a valid value for " + name);
    case ConversionSettings::SetResult::Ok:
        break;
    }
    if (!settings.saveValue(name))
        return reportUnwritable();
    return kExitOk;
}

int resetSetting(ConversionSettings& settings, const std::string& name) {
    const auto initial = ConversionSettings().getValue(name);
    if (!initial)
        return usageError("settings: unknown setting " + name);
    settings.setValue(name, initial->value);
    if (!settings.saveValue(name))
        return reportUnwritable();
    return kExitOk;
}

int resetAllSettings() {
    const int everything = ConversionSettings::kSaveFormatAndPage |
                           ConversionSettings::kSaveFolder | ConversionSettings::kSaveOptions;
    if (!ConversionSettings().save(everything))
        return reportUnwritable();
    return kExitOk;
}

} // namespace

int runSettings(const std::vector<std::string>& args) {
    const std::string usage =
        "settings: usage: velmora-cli settings list | get NAME | set NAME VALUE | reset [NAME] | "
        "path";
    if (args.empty())
        return usageError(usage);
    ConversionSettings settings;
    settings.load();
    const std::string& action = args[0];
    if (action == "list" && args.size() == 1)
        return listSettings(settings);
    if (action == "get" && args.size() == 2)
        return getSetting(settings, args[1]);
    if (action == "set" && args.size() == 3)
        return setSetting(settings, args[1], args[2]);
    if (action == "reset" && args.size() == 1)
        return resetAllSettings();
    if (action == "reset" && args.size() == 2)
        return resetSetting(settings, args[1]);
    if (action == "path" && args.size() == 1) {
        std::cout << RegistryStore::defaultFile().string() << '\n';
        return kExitOk;
    }
    return usageError(usage);
}

} // namespace velmora::cli
