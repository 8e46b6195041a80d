#include "channel_map.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "cli_error.h"

namespace {

bool sameText(const std::string &a, const std::string &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

// The channel whose name is `layer.suffix` (or `suffix` without a layer),
// the suffix in any case.
int find(const OIIO::ImageSpec &spec, const std::string &layer, const std::string &suffix)
{
    for (int c = 0; c < spec.nchannels; ++c) {
        const std::string &name = spec.channelnames[static_cast<std::size_t>(c)];
        if (layer.empty() ? sameText(name, suffix)
                          : name.size() == layer.size() + 1 + suffix.size() && name.compare(0, layer.size(), layer) == 0 &&
                                name[layer.size()] == '.' && sameText(name.substr(layer.size() + 1), suffix))
            return c;
    }
    return -1;
}

std::string channelList(const OIIO::ImageSpec &spec)
{
    std::string names;
    for (const std::string &n : spec.channelnames)
        names += (names.empty() ? "" : ", ") + n;
    return names;
}

}  // namespace

bool ChannelMap::direct(int fileChannels) const
{
    return !grey && red == 0 && green == 1 && blue == 2 && (alpha < 0 || alpha == 3) && fileChannels == rendered();
}

bool ChannelMap::isRendered(int channel) const
{
    return channel == red || channel == green || channel == blue || channel == alpha;
}

ChannelMap mapChannels(const OIIO::ImageSpec &spec, const ChannelChoice &choice, const std::string &path)
{
    ChannelMap m;
    if (!choice.names.empty()) {
        if (choice.names.size() < 3 || choice.names.size() > 4)
            throw UsageError("--channels needs three or four names (red, green, blue[, alpha])");
        int found[4] = {-1, -1, -1, -1};
        for (std::size_t i = 0; i < choice.names.size(); ++i) {
            const auto at = std::find(spec.channelnames.begin(), spec.channelnames.end(), choice.names[i]);
            if (at == spec.channelnames.end())
                throw UsageError(path + " has no channel " + choice.names[i] + " (its channels: " + channelList(spec) +
                                 ")");
            found[i] = static_cast<int>(at - spec.channelnames.begin());
        }
        m.red = found[0], m.green = found[1], m.blue = found[2], m.alpha = found[3];
        return m;
    }
    m.red = find(spec, choice.layer, "R");
    m.green = find(spec, choice.layer, "G");
    m.blue = find(spec, choice.layer, "B");
    m.alpha = find(spec, choice.layer, "A");
    if (m.red >= 0 && m.green >= 0 && m.blue >= 0)
        return m;
    const int luminance = choice.layer.empty() ? find(spec, "", "Y") : -1;
    if (luminance >= 0 && spec.nchannels == (m.alpha >= 0 ? 2 : 1)) {
        m.red = m.green = m.blue = luminance;
        m.grey = true;
        return m;
    }
    const std::string where = choice.layer.empty() ? "no R, G and B channels" : "no layer " + choice.layer + " with R, G and B";
    throw UsageError(path + " has " + where + " (its channels: " + channelList(spec) +
                     "); choose a --layer, or name the channels with --channels");
}

std::vector<std::string> splitChannelNames(const std::string &text)
{
    std::vector<std::string> names;
    std::stringstream s(text);
    std::string name;
    while (std::getline(s, name, ','))
        names.push_back(name);
    return names;
}
