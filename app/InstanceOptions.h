// Options shared by the commands that set up an instance: --preset, --state and --set.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TarnAdditiveSynth;

struct InstanceOptions
{
    std::string preset;                                    // number or name; empty for none
    std::string stateFile;                                 // empty for none
    std::vector<std::pair<std::uint32_t, float>> settings; // --set, in order
};

// Takes one option at args[i] (and its value) if it is one of ours; advances i past it.
// Returns false with a message in error when the option is ours but malformed. Sets consumed.
bool ParseInstanceOption(int argc, char** argv, int& i, InstanceOptions& options, bool& consumed,
                         std::string& error);

// Parses "ID=VALUE" or "NAME=VALUE" (split at the last '='). False with a message on error.
bool ParseSetting(const std::string& text, std::uint32_t& id, float& value, std::string& error);

// Applies the preset, then the state file, then every --set, in that order, through the
// notifying parameter call. False with a message on error.
bool ApplyInstanceOptions(TarnAdditiveSynth& synth, const InstanceOptions& options,
                          std::string& error);
