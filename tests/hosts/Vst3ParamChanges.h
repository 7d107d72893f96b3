// A host-side parameter change list (the input or output changes of one block), with its value
// queues, as a host hands it to IAudioProcessor::process.
#pragma once

#include "Vst3Abi.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace VellunaHostTest
{

using namespace Vst3Abi;

struct ParamChanges
{
    struct Queue
    {
        IParamValueQueueVtbl* vtbl;
        ParamID id;
        std::vector<std::pair<std::int32_t, double>> points;
    };
    IParameterChangesVtbl* vtbl;
    std::vector<Queue*> queues;

    static tresult NoInterface(void*, const std::uint8_t*, void** obj)
    {
        *obj = nullptr;
        return -1;
    }
    static std::uint32_t Ref(void*) { return 1; }

    static IParamValueQueueVtbl* QueueTable()
    {
        static IParamValueQueueVtbl table = {
            NoInterface,
            Ref,
            Ref,
            [](void* self) { return static_cast<Queue*>(self)->id; },
            [](void* self)
            { return static_cast<std::int32_t>(static_cast<Queue*>(self)->points.size()); },
            [](void* self, std::int32_t index, std::int32_t* offset, double* value) -> tresult
            {
                auto& p = static_cast<Queue*>(self)->points;
                if (index < 0 || static_cast<std::size_t>(index) >= p.size())
                    return 2;
                *offset = p[static_cast<std::size_t>(index)].first;
                *value = p[static_cast<std::size_t>(index)].second;
                return kResultOk;
            },
            [](void* self, std::int32_t offset, double value, std::int32_t* index) -> tresult
            {
                auto& p = static_cast<Queue*>(self)->points;
                p.emplace_back(offset, value);
                *index = static_cast<std::int32_t>(p.size() - 1);
                return kResultOk;
            }};
        return &table;
    }
    static IParameterChangesVtbl* Table()
    {
        static IParameterChangesVtbl table = {
            NoInterface,
            Ref,
            Ref,
            [](void* self)
            { return static_cast<std::int32_t>(static_cast<ParamChanges*>(self)->queues.size()); },
            [](void* self, std::int32_t index) -> void*
            {
                auto& q = static_cast<ParamChanges*>(self)->queues;
                return index >= 0 && static_cast<std::size_t>(index) < q.size()
                           ? q[static_cast<std::size_t>(index)]
                           : nullptr;
            },
            [](void* self, const ParamID* id, std::int32_t* index) -> void*
            { return static_cast<ParamChanges*>(self)->Add(*id, index); }};
        return &table;
    }
    ParamChanges() : vtbl(Table()) {}
    ParamChanges(const ParamChanges&) = delete;
    ParamChanges& operator=(const ParamChanges&) = delete;
    ~ParamChanges()
    {
        for (Queue* q : queues)
            delete q;
    }
    Queue* Add(ParamID id, std::int32_t* index = nullptr)
    {
        for (std::size_t i = 0; i < queues.size(); ++i)
            if (queues[i]->id == id)
            {
                if (index)
                    *index = static_cast<std::int32_t>(i);
                return queues[i];
            }
        queues.push_back(new Queue{QueueTable(), id, {}});
        if (index)
            *index = static_cast<std::int32_t>(queues.size() - 1);
        return queues.back();
    }
};

} // namespace VellunaHostTest
