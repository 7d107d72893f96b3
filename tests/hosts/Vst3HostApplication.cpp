#include "Vst3HostApplication.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace VellunaHostTest
{

using namespace Vst3Abi;

namespace
{

bool Same(const std::uint8_t* a, const Uid& b)
{
    return a && std::memcmp(a, b.bytes, 16) == 0;
}

} // namespace

// The FUnknown part of a host object T that counts its references in T::references: it answers
// for FUnknown and `Interface`, and deletes the object with its last reference. Called on
// whichever thread the plug-in uses the object from.
template <class T, const Uid& Interface> struct Counted
{
    static tresult QueryInterface(void* self, const std::uint8_t* iid, void** obj)
    {
        if (Same(iid, kFUnknown) || Same(iid, Interface))
        {
            ++static_cast<T*>(self)->references;
            *obj = self;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    static std::uint32_t AddRef(void* self) { return ++static_cast<T*>(self)->references; }
    static std::uint32_t Release(void* self)
    {
        const std::uint32_t left = --static_cast<T*>(self)->references;
        if (left == 0)
            delete static_cast<T*>(self);
        return left;
    }
};

// Values by name; a name set again takes its new value and type.
struct Vst3HostApplication::AttributeList
{
    using Value = std::variant<std::int64_t, double, std::u16string, std::vector<std::uint8_t>>;

    const IAttributeListVtbl* vtbl;
    Vst3HostApplication* host;
    std::atomic<std::uint32_t> references{1};
    std::map<std::string, Value> values;

    explicit AttributeList(Vst3HostApplication* h) : vtbl(Table()), host(h) { ++host->m_live; }
    ~AttributeList() { --host->m_live; }

    static AttributeList* Of(void* self) { return static_cast<AttributeList*>(self); }

    template <class T> static tresult Set(void* self, const char* id, T value)
    {
        if (!id)
            return kInvalidArgument;
        Of(self)->values[id] = std::move(value);
        return kResultOk;
    }
    template <class T> static const T* Get(void* self, const char* id)
    {
        if (!id)
            return nullptr;
        const auto found = Of(self)->values.find(id);
        return found == Of(self)->values.end() ? nullptr : std::get_if<T>(&found->second);
    }

    static const IAttributeListVtbl* Table()
    {
        static const IAttributeListVtbl table = {
            &Counted<AttributeList, kIAttributeList>::QueryInterface,
            &Counted<AttributeList, kIAttributeList>::AddRef,
            &Counted<AttributeList, kIAttributeList>::Release,
            [](void* self, const char* id, std::int64_t value) { return Set(self, id, value); },
            [](void* self, const char* id, std::int64_t* value) -> tresult
            {
                const auto* found = Get<std::int64_t>(self, id);
                if (!found || !value)
                    return kResultFalse;
                *value = *found;
                return kResultOk;
            },
            [](void* self, const char* id, double value) { return Set(self, id, value); },
            [](void* self, const char* id, double* value) -> tresult
            {
                const auto* found = Get<double>(self, id);
                if (!found || !value)
                    return kResultFalse;
                *value = *found;
                return kResultOk;
            },
            [](void* self, const char* id, const char16_t* string) -> tresult
            { return string ? Set(self, id, std::u16string(string)) : kInvalidArgument; },
            [](void* self, const char* id, char16_t* string, std::uint32_t sizeInBytes) -> tresult
            {
                const auto* found = Get<std::u16string>(self, id);
                const std::size_t room = sizeInBytes / sizeof(char16_t);
                if (!found || !string || room == 0)
                    return kResultFalse;
                // Cut to the room given, always terminated.
                const std::size_t n = std::min(found->size(), room - 1);
                std::copy_n(found->data(), n, string);
                string[n] = u'\0';
                return kResultOk;
            },
            [](void* self, const char* id, const void* data, std::uint32_t size) -> tresult
            {
                if (!data && size > 0)
                    return kInvalidArgument;
                const auto* bytes = static_cast<const std::uint8_t*>(data);
                return Set(self, id, std::vector<std::uint8_t>(bytes, bytes + size));
            },
            [](void* self, const char* id, const void** data, std::uint32_t* size) -> tresult
            {
                const auto* found = Get<std::vector<std::uint8_t>>(self, id);
                if (!found || !data || !size)
                    return kResultFalse;
                *data = found->data();
                *size = static_cast<std::uint32_t>(found->size());
                return kResultOk;
            }};
        return &table;
    }
};

// A message owns its attribute list; getAttributes lends it without a reference.
struct Vst3HostApplication::Message
{
    const IMessageVtbl* vtbl;
    Vst3HostApplication* host;
    std::atomic<std::uint32_t> references{1};
    std::string id;
    AttributeList* attributes;

    explicit Message(Vst3HostApplication* h)
        : vtbl(Table()), host(h), attributes(new AttributeList(h))
    {
        ++host->m_live;
        ++host->m_messagesMade;
    }
    ~Message()
    {
        attributes->vtbl->release(attributes);
        --host->m_live;
    }

    static Message* Of(void* self) { return static_cast<Message*>(self); }

    static const IMessageVtbl* Table()
    {
        static const IMessageVtbl table = {
            &Counted<Message, kIMessage>::QueryInterface,
            &Counted<Message, kIMessage>::AddRef,
            &Counted<Message, kIMessage>::Release,
            [](void* self) -> const char* { return Of(self)->id.c_str(); },
            [](void* self, const char* id) { Of(self)->id = id ? id : ""; },
            [](void* self) -> void* { return Of(self)->attributes; }};
        return &table;
    }
};

Vst3HostApplication::Vst3HostApplication(std::u16string name) : m_name(std::move(name))
{
    static const IHostApplicationVtbl table = {
        [](void* self, const std::uint8_t* iid, void** obj) -> tresult
        {
            if (Same(iid, kFUnknown) || Same(iid, kIHostApplication))
            {
                ++static_cast<Vst3HostApplication*>(self)->m_references;
                *obj = self;
                return kResultOk;
            }
            *obj = nullptr;
            return kNoInterface;
        },
        [](void* self) -> std::uint32_t {
            return static_cast<std::uint32_t>(
                ++static_cast<Vst3HostApplication*>(self)->m_references);
        },
        [](void* self) -> std::uint32_t {
            return static_cast<std::uint32_t>(
                --static_cast<Vst3HostApplication*>(self)->m_references);
        },
        [](void* self, char16_t* name) -> tresult
        {
            const std::u16string& ours = static_cast<Vst3HostApplication*>(self)->m_name;
            std::copy(ours.begin(), ours.end(), name);
            name[ours.size()] = u'\0';
            return kResultOk;
        },
        [](void* self, const std::uint8_t* cid, const std::uint8_t* iid, void** obj) -> tresult
        {
            auto* host = static_cast<Vst3HostApplication*>(self);
            *obj = nullptr;
            if (Same(cid, kIMessage) && Same(iid, kIMessage))
                *obj = new Message(host);
            else if (Same(cid, kIAttributeList) && Same(iid, kIAttributeList))
                *obj = new AttributeList(host);
            return *obj ? kResultOk : kNoInterface;
        }};
    m_vtbl = &table;
}

} // namespace VellunaHostTest
