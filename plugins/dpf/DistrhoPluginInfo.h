// What the plug-in framework needs to know about Velluna at compile time: a synthesizer with MIDI
// in, no audio in and stereo out, programs (the factory presets), full saved state and parameter
// change requests (changes the instrument makes to itself).
#pragma once

#define DISTRHO_PLUGIN_BRAND "Tarnwick"
#define DISTRHO_PLUGIN_NAME "Velluna"
#define DISTRHO_PLUGIN_URI "urn:tarnwick:velluna"
#define DISTRHO_PLUGIN_CLAP_ID "com.tarnwick.velluna"

#define DISTRHO_PLUGIN_HAS_UI 0
#define DISTRHO_PLUGIN_IS_RT_SAFE 0
#define DISTRHO_PLUGIN_IS_SYNTH 1
#define DISTRHO_PLUGIN_NUM_INPUTS 0
#define DISTRHO_PLUGIN_NUM_OUTPUTS 2
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT 1
#define DISTRHO_PLUGIN_WANT_MIDI_OUTPUT 0
#define DISTRHO_PLUGIN_WANT_PROGRAMS 1
#define DISTRHO_PLUGIN_WANT_STATE 1
#define DISTRHO_PLUGIN_WANT_FULL_STATE 1
#define DISTRHO_PLUGIN_WANT_TIMEPOS 0
#define DISTRHO_PLUGIN_WANT_LATENCY 0
#define DISTRHO_PLUGIN_WANT_PARAMETER_VALUE_CHANGE_REQUEST 1

#define DISTRHO_PLUGIN_LV2_CATEGORY "lv2:InstrumentPlugin"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Instrument|Synth|Stereo"
