// The few VST3 interfaces a minimal host needs, declared from their published C++ ABI: each
// object starts with a pointer to its table of functions; every function takes the object as
// its first argument; methods follow FUnknown's three in declaration order. Interface
// identifiers are the published ones, laid out as four big-endian 32-bit words (non-Windows).
#pragma once

#include <cstdint>

namespace Vst3Abi
{

using tresult = std::int32_t;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kNoInterface = -1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
using TUID = std::uint8_t[16];

struct Uid
{
    std::uint8_t bytes[16];
};

constexpr Uid MakeUid(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return {{std::uint8_t(a >> 24), std::uint8_t(a >> 16), std::uint8_t(a >> 8), std::uint8_t(a),
             std::uint8_t(b >> 24), std::uint8_t(b >> 16), std::uint8_t(b >> 8), std::uint8_t(b),
             std::uint8_t(c >> 24), std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c),
             std::uint8_t(d >> 24), std::uint8_t(d >> 16), std::uint8_t(d >> 8), std::uint8_t(d)}};
}

constexpr Uid kIPluginFactory = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
constexpr Uid kIComponent = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
constexpr Uid kIAudioProcessor = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
constexpr Uid kIEventList = MakeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
constexpr Uid kIBStream = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
constexpr Uid kIEditController = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
constexpr Uid kIMidiMapping = MakeUid(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);
constexpr Uid kIParameterChanges = MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
constexpr Uid kIParamValueQueue = MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
constexpr Uid kFUnknown = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
constexpr Uid kIComponentHandler = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
constexpr Uid kIHostApplication = MakeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
constexpr Uid kIMessage = MakeUid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
constexpr Uid kIAttributeList = MakeUid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
constexpr Uid kIPlugView = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
constexpr Uid kIPlugFrame = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
constexpr Uid kIRunLoop = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
constexpr Uid kIEventHandler = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
constexpr Uid kITimerHandler = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
constexpr Uid kIPlugViewContentScaleSupport =
    MakeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);

// The platform type of an X11 parent window handed to IPlugView::attached.
inline constexpr char kPlatformTypeX11EmbedWindowID[] = "X11EmbedWindowID";

#define VST3_FUNKNOWN_METHODS                                                                      \
    tresult (*queryInterface)(void* self, const std::uint8_t* iid, void** obj);                    \
    std::uint32_t (*addRef)(void* self);                                                           \
    std::uint32_t (*release)(void* self)

struct FUnknownVtbl
{
    VST3_FUNKNOWN_METHODS;
};

struct PFactoryInfo
{
    char vendor[64];
    char url[256];
    char email[128];
    std::int32_t flags;
};

struct PClassInfo
{
    std::uint8_t cid[16];
    std::int32_t cardinality;
    char category[32];
    char name[64];
};

struct IPluginFactoryVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*getFactoryInfo)(void* self, PFactoryInfo* info);
    std::int32_t (*countClasses)(void* self);
    tresult (*getClassInfo)(void* self, std::int32_t index, PClassInfo* info);
    tresult (*createInstance)(void* self, const std::uint8_t* cid, const std::uint8_t* iid,
                              void** obj);
};

enum MediaType : std::int32_t
{
    kAudio = 0,
    kEvent = 1
};
enum BusDirection : std::int32_t
{
    kInput = 0,
    kOutput = 1
};

struct IBStreamVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*read)(void* self, void* buffer, std::int32_t bytes, std::int32_t* bytesRead);
    tresult (*write)(void* self, void* buffer, std::int32_t bytes, std::int32_t* bytesWritten);
    tresult (*seek)(void* self, std::int64_t pos, std::int32_t mode, std::int64_t* result);
    tresult (*tell)(void* self, std::int64_t* pos);
};

struct IComponentVtbl
{
    VST3_FUNKNOWN_METHODS;
    // IPluginBase
    tresult (*initialize)(void* self, void* context);
    tresult (*terminate)(void* self);
    // IComponent
    tresult (*getControllerClassId)(void* self, std::uint8_t* cid);
    tresult (*setIoMode)(void* self, std::int32_t mode);
    std::int32_t (*getBusCount)(void* self, std::int32_t type, std::int32_t dir);
    tresult (*getBusInfo)(void* self, std::int32_t type, std::int32_t dir, std::int32_t index,
                          void* info);
    tresult (*getRoutingInfo)(void* self, void* in, void* out);
    tresult (*activateBus)(void* self, std::int32_t type, std::int32_t dir, std::int32_t index,
                           std::uint8_t state);
    tresult (*setActive)(void* self, std::uint8_t state);
    tresult (*setState)(void* self, void* stream);
    tresult (*getState)(void* self, void* stream);
};

struct ProcessSetup
{
    std::int32_t processMode;        // 0 realtime
    std::int32_t symbolicSampleSize; // 0 32-bit float
    std::int32_t maxSamplesPerBlock;
    double sampleRate;
};

struct AudioBusBuffers
{
    std::int32_t numChannels;
    std::uint64_t silenceFlags;
    float** channelBuffers32;
};

struct ProcessData
{
    std::int32_t processMode;
    std::int32_t symbolicSampleSize;
    std::int32_t numSamples;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    void* inputParameterChanges;
    void* outputParameterChanges;
    void* inputEvents;
    void* outputEvents;
    void* processContext;
};

struct IAudioProcessorVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*setBusArrangements)(void* self, std::uint64_t* inputs, std::int32_t numIns,
                                  std::uint64_t* outputs, std::int32_t numOuts);
    tresult (*getBusArrangement)(void* self, std::int32_t dir, std::int32_t index,
                                 std::uint64_t* arrangement);
    tresult (*canProcessSampleSize)(void* self, std::int32_t size);
    std::uint32_t (*getLatencySamples)(void* self);
    tresult (*setupProcessing)(void* self, ProcessSetup* setup);
    tresult (*setProcessing)(void* self, std::uint8_t state);
    tresult (*process)(void* self, ProcessData* data);
    std::uint32_t (*getTailSamples)(void* self);
};

struct NoteOnEvent
{
    std::int16_t channel;
    std::int16_t pitch;
    float tuning;
    float velocity;
    std::int32_t length;
    std::int32_t noteId;
};

struct NoteOffEvent
{
    std::int16_t channel;
    std::int16_t pitch;
    float velocity;
    std::int32_t noteId;
    float tuning;
};

// The event union is as large as its largest member (24 bytes, 8-byte aligned).
struct Event
{
    std::int32_t busIndex;
    std::int32_t sampleOffset;
    double ppqPosition;
    std::uint16_t flags;
    std::uint16_t type; // 0 note on, 1 note off
    union
    {
        NoteOnEvent noteOn;
        NoteOffEvent noteOff;
        std::uint8_t largest[24];
        double align;
    };
};
static_assert(sizeof(Event) == 48, "VST3 event layout");

struct IEventListVtbl
{
    VST3_FUNKNOWN_METHODS;
    std::int32_t (*getEventCount)(void* self);
    tresult (*getEvent)(void* self, std::int32_t index, Event* e);
    tresult (*addEvent)(void* self, Event* e);
};

using ParamID = std::uint32_t;

struct ParameterInfo
{
    ParamID id;
    char16_t title[128];
    char16_t shortTitle[128];
    char16_t units[128];
    std::int32_t stepCount;
    double defaultNormalizedValue;
    std::int32_t unitId;
    std::int32_t flags;
};

struct IEditControllerVtbl
{
    VST3_FUNKNOWN_METHODS;
    // IPluginBase
    tresult (*initialize)(void* self, void* context);
    tresult (*terminate)(void* self);
    // IEditController
    tresult (*setComponentState)(void* self, void* stream);
    tresult (*setState)(void* self, void* stream);
    tresult (*getState)(void* self, void* stream);
    std::int32_t (*getParameterCount)(void* self);
    tresult (*getParameterInfo)(void* self, std::int32_t index, ParameterInfo* info);
    tresult (*getParamStringByValue)(void* self, ParamID id, double normalized, char16_t* out);
    tresult (*getParamValueByString)(void* self, ParamID id, char16_t* in, double* normalized);
    double (*normalizedParamToPlain)(void* self, ParamID id, double normalized);
    double (*plainParamToNormalized)(void* self, ParamID id, double plain);
    double (*getParamNormalized)(void* self, ParamID id);
    tresult (*setParamNormalized)(void* self, ParamID id, double value);
    tresult (*setComponentHandler)(void* self, void* handler);
    void* (*createView)(void* self, const char* name);
};

struct IMidiMappingVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*getMidiControllerAssignment)(void* self, std::int32_t bus, std::int16_t channel,
                                           std::int16_t controller, ParamID* id);
};

struct IParamValueQueueVtbl
{
    VST3_FUNKNOWN_METHODS;
    ParamID (*getParameterId)(void* self);
    std::int32_t (*getPointCount)(void* self);
    tresult (*getPoint)(void* self, std::int32_t index, std::int32_t* sampleOffset, double* value);
    tresult (*addPoint)(void* self, std::int32_t sampleOffset, double value, std::int32_t* index);
};

struct IParameterChangesVtbl
{
    VST3_FUNKNOWN_METHODS;
    std::int32_t (*getParameterCount)(void* self);
    void* (*getParameterData)(void* self, std::int32_t index);
    void* (*addParameterData)(void* self, const ParamID* id, std::int32_t* index);
};

struct IComponentHandlerVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*beginEdit)(void* self, ParamID id);
    tresult (*performEdit)(void* self, ParamID id, double normalized);
    tresult (*endEdit)(void* self, ParamID id);
    tresult (*restartComponent)(void* self, std::int32_t flags);
};

struct IHostApplicationVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*getName)(void* self, char16_t* name); // 128 characters
    tresult (*createInstance)(void* self, const std::uint8_t* cid, const std::uint8_t* iid,
                              void** obj);
};

// Strings are UTF-16; getString's size counts bytes.
struct IAttributeListVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*setInt)(void* self, const char* id, std::int64_t value);
    tresult (*getInt)(void* self, const char* id, std::int64_t* value);
    tresult (*setFloat)(void* self, const char* id, double value);
    tresult (*getFloat)(void* self, const char* id, double* value);
    tresult (*setString)(void* self, const char* id, const char16_t* string);
    tresult (*getString)(void* self, const char* id, char16_t* string, std::uint32_t sizeInBytes);
    tresult (*setBinary)(void* self, const char* id, const void* data, std::uint32_t size);
    tresult (*getBinary)(void* self, const char* id, const void** data, std::uint32_t* size);
};

struct IMessageVtbl
{
    VST3_FUNKNOWN_METHODS;
    const char* (*getMessageID)(void* self);
    void (*setMessageID)(void* self, const char* id);
    void* (*getAttributes)(void* self);
};

struct ViewRect
{
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct IPlugViewVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*isPlatformTypeSupported)(void* self, const char* type);
    tresult (*attached)(void* self, void* parent, const char* type);
    tresult (*removed)(void* self);
    tresult (*onWheel)(void* self, float distance);
    tresult (*onKeyDown)(void* self, char16_t key, std::int16_t keyCode, std::int16_t modifiers);
    tresult (*onKeyUp)(void* self, char16_t key, std::int16_t keyCode, std::int16_t modifiers);
    tresult (*getSize)(void* self, ViewRect* size);
    tresult (*onSize)(void* self, ViewRect* newSize);
    tresult (*onFocus)(void* self, std::uint8_t state);
    tresult (*setFrame)(void* self, void* frame);
    tresult (*canResize)(void* self);
    tresult (*checkSizeConstraint)(void* self, ViewRect* rect);
};

// A view's device pixels per point, from the host (the screen's scale).
struct IPlugViewContentScaleSupportVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*setContentScaleFactor)(void* self, float factor);
};

struct IPlugFrameVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*resizeView)(void* self, void* view, ViewRect* newSize);
};

// Linux: the host's UI loop, which the plug-in's view asks for through its IPlugFrame.
struct IEventHandlerVtbl
{
    VST3_FUNKNOWN_METHODS;
    void (*onFDIsSet)(void* self, int fd);
};

struct ITimerHandlerVtbl
{
    VST3_FUNKNOWN_METHODS;
    void (*onTimer)(void* self);
};

struct IRunLoopVtbl
{
    VST3_FUNKNOWN_METHODS;
    tresult (*registerEventHandler)(void* self, void* handler, int fd);
    tresult (*unregisterEventHandler)(void* self, void* handler);
    tresult (*registerTimer)(void* self, void* handler, std::uint64_t milliseconds);
    tresult (*unregisterTimer)(void* self, void* handler);
};

#undef VST3_FUNKNOWN_METHODS

template <class Vtbl> Vtbl& V(void* object)
{
    return **static_cast<Vtbl**>(object);
}

} // namespace Vst3Abi
