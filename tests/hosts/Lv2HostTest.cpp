// The built LV2 bundle loaded by lilv as a host loads it.
#include "Lv2Host.h"
#include "AudioChecks.h"
#include "UserFolders.h"

#include "core/ParameterTable.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>

#include <map>
#include <memory>
#include <string>

using namespace VellunaHostTest;

namespace
{

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 256;

class Lv2HostTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        IsolateUserFolders();
        ms_world = new Lv2World();
    }
    static void TearDownTestSuite()
    {
        delete ms_world;
        ms_world = nullptr;
    }
    void SetUp() override { ASSERT_NE(ms_world->Plugin(), nullptr) << "bundle not found by URI"; }

    const LilvPlugin* Plugin() const { return ms_world->Plugin(); }

    // Factory presets by label.
    std::map<std::string, std::string> Presets() const
    {
        std::map<std::string, std::string> result;
        LilvNode* presetClass = ms_world->Uri(LV2_PRESETS__Preset);
        LilvNode* label = ms_world->Uri(LILV_NS_RDFS "label");
        LilvNodes* related = lilv_plugin_get_related(Plugin(), presetClass);
        LILV_FOREACH(nodes, i, related)
        {
            const LilvNode* preset = lilv_nodes_get(related, i);
            lilv_world_load_resource(ms_world->World(), preset);
            LilvNodes* labels = lilv_world_find_nodes(ms_world->World(), preset, label, nullptr);
            if (labels && lilv_nodes_size(labels) > 0)
                result[lilv_node_as_string(lilv_nodes_get_first(labels))] =
                    lilv_node_as_uri(preset);
            lilv_nodes_free(labels);
        }
        lilv_nodes_free(related);
        lilv_node_free(label);
        lilv_node_free(presetClass);
        return result;
    }

    static Lv2World* ms_world;
    UridMap m_urids;
};

Lv2World* Lv2HostTest::ms_world = nullptr;

std::vector<MidiAt> NoteOn(std::uint32_t frame, std::uint8_t key)
{
    return {{frame, {0x90, key, 100}}};
}

// What hosts show next to the plug-in: licence, a release version (even minor number), whole
// semitones and the standard LV2 units for tuning controls.
TEST_F(Lv2HostTest, LicenceVersionAndTuningUnitsAreWhatHostsExpect)
{
    auto value = [](const LilvPlugin* plugin, const char* predicate)
    {
        LilvNode* p = ms_world->Uri(predicate);
        LilvNodes* values = lilv_plugin_get_value(plugin, p);
        lilv_node_free(p);
        std::string text = values && lilv_nodes_size(values) == 1
                               ? lilv_node_as_string(lilv_nodes_get_first(values))
                               : "";
        lilv_nodes_free(values);
        return text;
    };
    EXPECT_EQ(value(Plugin(), "http://usefulinc.com/ns/doap#license"),
              "http://spdx.org/licenses/GPL-3.0-or-later.html");
    const int minor = std::stoi(value(Plugin(), LV2_CORE__minorVersion));
    EXPECT_GT(minor, 3); // above the development version 0.3 of earlier builds
    EXPECT_EQ(minor % 2, 0);
    EXPECT_FALSE(value(Plugin(), LV2_CORE__microVersion).empty());

    auto port = [](const char* name)
    {
        for (std::uint32_t i = 0; i < lilv_plugin_get_num_ports(ms_world->Plugin()); ++i)
        {
            const LilvPort* p = lilv_plugin_get_port_by_index(ms_world->Plugin(), i);
            LilvNode* n = lilv_port_get_name(ms_world->Plugin(), p);
            const bool match = std::string(lilv_node_as_string(n)) == name;
            lilv_node_free(n);
            if (match)
                return p;
        }
        return static_cast<const LilvPort*>(nullptr);
    };
    auto unitOf = [](const LilvPort* p)
    {
        LilvNode* unit = ms_world->Uri(LV2_UNITS__unit);
        LilvNodes* units = lilv_port_get_value(ms_world->Plugin(), p, unit);
        lilv_node_free(unit);
        std::string text =
            units && lilv_nodes_size(units) == 1 && lilv_node_is_uri(lilv_nodes_get_first(units))
                ? lilv_node_as_uri(lilv_nodes_get_first(units))
                : "";
        lilv_nodes_free(units);
        return text;
    };
    const LilvPort* coarse = port("Coarse Tune");
    const LilvPort* fine = port("Fine Tune");
    ASSERT_TRUE(coarse && fine);
    LilvNode* integer = ms_world->Uri(LV2_CORE__integer);
    EXPECT_TRUE(lilv_port_has_property(Plugin(), coarse, integer));
    EXPECT_FALSE(lilv_port_has_property(Plugin(), fine, integer));
    lilv_node_free(integer);
    EXPECT_EQ(unitOf(coarse), LV2_UNITS__semitone12TET);
    EXPECT_EQ(unitOf(fine), LV2_UNITS__cent);
}

TEST_F(Lv2HostTest, PortsAndParameterMetadataFollowTheParameterTable)
{
    LilvNode* audio = ms_world->Uri(LILV_URI_AUDIO_PORT);
    LilvNode* control = ms_world->Uri(LILV_URI_CONTROL_PORT);
    LilvNode* input = ms_world->Uri(LILV_URI_INPUT_PORT);
    LilvNode* output = ms_world->Uri(LILV_URI_OUTPUT_PORT);
    LilvNode* midi = ms_world->Uri(LV2_MIDI__MidiEvent);
    LilvNode* atom = ms_world->Uri(LV2_ATOM__AtomPort);
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(Plugin(), audio, input, nullptr), 0u);
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(Plugin(), audio, output, nullptr), 2u);
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(Plugin(), control, input, nullptr), 140u);
    // No placeholder control (a VST3 wrapper's quirk) is shown to LV2 users.
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(Plugin(), control, output, nullptr), 0u);
    bool midiIn = false;
    for (std::uint32_t i = 0; i < lilv_plugin_get_num_ports(Plugin()); ++i)
    {
        const LilvPort* port = lilv_plugin_get_port_by_index(Plugin(), i);
        if (lilv_port_is_a(Plugin(), port, atom) && lilv_port_is_a(Plugin(), port, input) &&
            lilv_port_supports_event(Plugin(), port, midi))
            midiIn = true;
    }
    EXPECT_TRUE(midiIn);

    for (std::uint32_t id = 0; id < Tarn::kNumParams; ++id)
    {
        LilvNode* symbol = lilv_new_string(ms_world->World(), ("p" + std::to_string(id)).c_str());
        const LilvPort* port = lilv_plugin_get_port_by_symbol(Plugin(), symbol);
        lilv_node_free(symbol);
        if (Tarn::GetParamKind(id) != Tarn::ParamKind::Live)
        {
            EXPECT_EQ(port, nullptr) << id;
            continue;
        }
        ASSERT_NE(port, nullptr) << id;
        const Tarn::ParamInfo& info = Tarn::astParamInfos[id];
        LilvNode* name = lilv_port_get_name(Plugin(), port);
        EXPECT_STREQ(lilv_node_as_string(name), info.name);
        lilv_node_free(name);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(Plugin(), port, &def, &min, &max);
        ASSERT_TRUE(def && min && max) << id;
        const bool stepped = info.unit == 1 || info.unit == 2;
        if (!stepped)
        {
            EXPECT_FLOAT_EQ(lilv_node_as_float(def), info.defaultValue) << id;
            EXPECT_FLOAT_EQ(lilv_node_as_float(min), info.minValue) << id;
            EXPECT_FLOAT_EQ(lilv_node_as_float(max), info.maxValue) << id;
        }
        else
        {
            EXPECT_EQ(lilv_node_as_int(def), static_cast<int>(info.defaultValue)) << id;
            EXPECT_EQ(lilv_node_as_int(max), static_cast<int>(info.maxValue)) << id;
        }
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
    }
    for (LilvNode* n : {audio, control, input, output, midi, atom})
        lilv_node_free(n);
}

TEST_F(Lv2HostTest, EnumerationsAndNamedValuesAreScalePoints)
{
    auto points = [&](const char* sym)
    {
        std::map<float, std::string> result;
        LilvNode* symbol = lilv_new_string(ms_world->World(), sym);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(Plugin(), symbol);
        lilv_node_free(symbol);
        LilvScalePoints* sp = port ? lilv_port_get_scale_points(Plugin(), port) : nullptr;
        LILV_FOREACH(scale_points, i, sp)
        {
            const LilvScalePoint* p = lilv_scale_points_get(sp, i);
            result[lilv_node_as_float(lilv_scale_point_get_value(p))] =
                lilv_node_as_string(lilv_scale_point_get_label(p));
        }
        lilv_scale_points_free(sp);
        return result;
    };
    EXPECT_EQ(points("p83"),
              (std::map<float, std::string>{{0.f, "None"}, {1.f, "1"}, {2.f, "2"}, {3.f, "3"}}));
    EXPECT_EQ(points("p179"),
              (std::map<float, std::string>{{0.f, "1"}, {1.f, "10"}, {2.f, "100"}}));
    EXPECT_EQ(points("p141"),
              (std::map<float, std::string>{
                  {0.f, "Thru"}, {1.f, "Low"}, {2.f, "Band"}, {3.f, "High"}, {4.f, "Thru"}}));
    EXPECT_EQ(points("p59"), (std::map<float, std::string>{{5.f, "Inf"}}));
    EXPECT_EQ(points("p180"), (std::map<float, std::string>{{0.f, "Off"}}));
    EXPECT_TRUE(points("p139").empty());
}

TEST_F(Lv2HostTest, FactoryPresetsAreLv2Presets)
{
    const auto presets = Presets();
    EXPECT_EQ(presets.size(), 32u);
    EXPECT_EQ(presets.count("Defaults"), 1u);
    EXPECT_EQ(presets.count("KV Chimes 1"), 1u);
    EXPECT_EQ(presets.count("PW Dive"), 1u);
}

TEST_F(Lv2HostTest, NoteThroughTheAtomPortSoundsAtItsFrameAndPitch)
{
    Lv2Instance host(*ms_world, m_urids, kRate, kBlock);
    ASSERT_TRUE(host.Valid());
    host.Run();                // one silent block first
    host.Run(NoteOn(100, 69)); // A4 at frame 100 of the second block
    host.RunFrames(48000);
    const long onset = FirstSoundingFrame(host.Left());
    EXPECT_GE(onset, static_cast<long>(kBlock + 100));
    EXPECT_LT(onset, static_cast<long>(kBlock + 100 + 16));
    EXPECT_GT(Peak(host.Right()), 0.01f);
    EXPECT_NEAR(ZeroCrossingPitch(host.Left(), 12000, 36000, kRate), 440.0, 2.0);
}

TEST_F(Lv2HostTest, ScriptChangesAreRequestedOnTheParametersPort)
{
    Lv2Instance host(*ms_world, m_urids, kRate, kBlock);
    ASSERT_TRUE(host.Valid());
    host.Run({{10, {0xB0, 7, 64}}}); // the default script maps CC 7 to "Volume"
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0].first, host.PortIndex("p0"));
    EXPECT_NEAR(host.Requests()[0].second, 64.0f / 127.0f, 1e-6f);
    // A change the host makes itself is not requested back.
    host.Requests().clear();
    host.Control("p139") = 2500.0f;
    host.Run();
    EXPECT_TRUE(host.Requests().empty());
}

TEST_F(Lv2HostTest, PresetAppliedThroughLilvSetsThePorts)
{
    const auto presets = Presets();
    ASSERT_EQ(presets.count("PW Dive"), 1u);
    Lv2Instance host(*ms_world, m_urids, kRate, kBlock);
    ASSERT_TRUE(host.Valid());
    LilvNode* uri = ms_world->Uri(presets.at("PW Dive").c_str());
    LilvState* state = lilv_state_new_from_world(ms_world->World(), m_urids.MapFeature(), uri);
    lilv_node_free(uri);
    ASSERT_NE(state, nullptr);
    lilv_state_restore(state, host.Handle(), Lv2Instance::SetPortValue, &host, 0, host.Features());
    lilv_state_free(state);
    EXPECT_FLOAT_EQ(host.Control("p160"), -24.0f); // Coarse Tune
    EXPECT_FLOAT_EQ(host.Control("p139"), 291.375f);
    host.Run(NoteOn(0, 81)); // A5 two octaves down is A3
    host.RunFrames(48000);
    EXPECT_NEAR(ZeroCrossingPitch(host.Left(), 12000, 36000, kRate), 220.0, 8.0);
}

TEST_F(Lv2HostTest, SavedStateRestoresIntoAnotherInstance)
{
    Lv2Instance a(*ms_world, m_urids, kRate, kBlock);
    ASSERT_TRUE(a.Valid());
    a.Control("p160") = 12.0f; // Coarse Tune: one octave up
    a.Run();
    LilvState* state = lilv_state_new_from_instance(
        Plugin(), a.Handle(), m_urids.MapFeature(), nullptr, nullptr, nullptr, nullptr,
        Lv2Instance::GetPortValue, &a, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, a.Features());
    ASSERT_NE(state, nullptr);

    // The instance's own state alone, without the port values, must carry the change.
    Lv2Instance b(*ms_world, m_urids, kRate, kBlock);
    ASSERT_TRUE(b.Valid());
    lilv_state_restore(state, b.Handle(), nullptr, nullptr, 0, b.Features());
    b.Run(NoteOn(0, 69));
    b.RunFrames(48000);
    EXPECT_NEAR(ZeroCrossingPitch(b.Left(), 12000, 36000, kRate), 880.0, 4.0);

    // And restoring with the ports sets them too.
    Lv2Instance c(*ms_world, m_urids, kRate, kBlock);
    lilv_state_restore(state, c.Handle(), Lv2Instance::SetPortValue, &c, 0, c.Features());
    EXPECT_FLOAT_EQ(c.Control("p160"), 12.0f);
    lilv_state_free(state);
}

} // namespace
