#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velmora {

class ConversionSettings;

// A phone the ringtone maker aims at: the output settings the phone is sure to accept and the
// length it allows.
struct DeviceProfile {
    std::string_view name;    // "iPhone ringtone", as lists and dialogs show it
    std::string_view cliWord; // "iphone", "android", "feature-phone"
    int outputFormat = 0;     // an output format id
    std::int64_t maxLengthMs = 0;
    std::int64_t suggestedLengthMs = 0;
    std::int64_t defaultFadeInMs = 0;
    std::int64_t defaultFadeOutMs = 0;
};

std::span<const DeviceProfile> deviceProfiles();
// nullptr when no profile has that word.
const DeviceProfile* findDeviceProfile(std::string_view cliWord);
// Sets the output format and its options to the profile's; the other settings stay.
void applyDeviceProfile(const DeviceProfile& profile, ConversionSettings& settings);

} // namespace velmora
