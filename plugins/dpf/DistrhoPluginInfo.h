// What the plug-in framework needs to know about Velluna at compile time: a synthesizer with MIDI
// in, no audio in and stereo out, programs (the factory presets), full saved state and parameter
// change requests (changes the instrument makes to itself).
#pragma once

#define DISTRHO_PLUGIN_BRAND "Tarnwick"
#define DISTRHO_PLUGIN_NAME "Velluna"
#define DISTRHO_PLUGIN_URI "urn:tarnwick:velluna"
#define DISTRHO_PLUGIN_CLAP_ID "com.tarnwick.velluna"

// The editor: our own X11 window (see VellunaDpfUI.cpp), embedded in the host's window, on the
// instance itself. Direct access keeps the VST3 plug-in one object that is its own edit
// controller, as it was before the editor (its parameter numbers and saved states stay as they
// were), and gives the editor that object's instance in every format.
#define DISTRHO_PLUGIN_HAS_UI 1
#define DISTRHO_PLUGIN_HAS_EXTERNAL_UI 1
#define DISTRHO_PLUGIN_HAS_EMBED_UI 1
#define DISTRHO_PLUGIN_WANT_DIRECT_ACCESS 1
#define DISTRHO_UI_USER_RESIZABLE 1
// The bundled skin's design size in pixels, for a VST3 host that asks before the editor opens.
#define DISTRHO_UI_DEFAULT_WIDTH 1000
#define DISTRHO_UI_DEFAULT_HEIGHT 500
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
