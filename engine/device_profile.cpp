#include "engine/device_profile.h"

#include "engine/conversion_settings.h"
#include "engine/output_format.h"

#include <algorithm>
#include <array>

namespace velmora {
namespace {

constexpr int kCdRate = 44100;
constexpr int kVorbisBitRateKbps = 128;
constexpr int kAmrNarrowBand = 0;
constexpr int kAmrMode12k2 = 7; // the narrow band's highest mode, 12.2 kbit/s
constexpr int kChannelsAsSource = 0;

constexpr std::array kProfiles = {
    DeviceProfile{"iPhone ringtone", "iphone", code(OutputFormat::M4r), 40000, 30000, 500, 1500},
    DeviceProfile{"Android ringtone", "android", code(OutputFormat::Ogg), 40000, 30000, 500, 1500},
    // Small loudspeakers and 8 kHz audio: a shorter part with a shorter fade carries better.
    DeviceProfile{"Feature phone", "feature-phone", code(OutputFormat::Amr), 30000, 20000, 300,
                  1000},
};

// AAC-LC in an M4R with the encoder's own settings; only rates a phone may refuse come down.
void applyIphone(ConversionSettings& settings) {
    settings.AutoDestM4AEncodingParam = 1;
    settings.limitM4ASampleRate = true;
}

void applyAndroid(ConversionSettings& settings) {
    settings.AutoDestOGGEncodingParam = 0;
    settings.OGGSampleRate = kCdRate;
    settings.OGGChannels = kChannelsAsSource;
    settings.OGGBitRate = kVorbisBitRateKbps;
}

// The AMR routine always writes mono; the narrow band is 8 kHz.
void applyFeaturePhone(ConversionSettings& settings) {
    settings.AMRType = kAmrNarrowBand;
    settings.AMRMode = kAmrMode12k2;
    settings.AMRDTX = 0;
}

} // namespace

std::span<const DeviceProfile> deviceProfiles() {
    return kProfiles;
}

const DeviceProfile* findDeviceProfile(std::string_view cliWord) {
    const auto found = std::find_if(kProfiles.begin(), kProfiles.end(),
                                    [&](const DeviceProfile& p) { return p.cliWord == cliWord; });
    return found == kProfiles.end() ? nullptr : &*found;
}

void applyDeviceProfile(const DeviceProfile& profile, ConversionSettings& settings) {
    settings.OutputFormat = profile.outputFormat;
    settings.limitM4ASampleRate = false;
    if (profile.outputFormat == code(OutputFormat::M4r))
        applyIphone(settings);
    else if (profile.outputFormat == code(OutputFormat::Ogg))
        applyAndroid(settings);
    else if (profile.outputFormat == code(OutputFormat::Amr))
        applyFeaturePhone(settings);
}

} // namespace velmora
