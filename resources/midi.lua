-- Velluna's default MIDI script.
--
-- It runs in every instance, before the user's own scripts, unless the user's Scripts folder
-- holds a file whose name begins with "midi.lua" (which then replaces this one). The instrument
-- plays notes, the pitch wheel, the sustain pedal (64), all sound off (120) and all notes off
-- (123) by itself; this script only adds controller mappings on top:
--
--   CC 1   modulation wheel   -> "PW LFO Amount"  (pulse-width movement, 0..1)
--   CC 7   channel volume     -> "Volume"         (0..1)
--   CC 71  resonance          -> "Filter Q"       (0.01..1)
--   CC 72  release time       -> "Release"        (0..5 s, finer at short times)
--   CC 73  attack time        -> "Attack"         (0..5 s, finer at short times)
--   CC 74  brightness         -> "Filter Cutoff"  (50..12000 Hz, exponential)
--   CC 75  decay time         -> "Decay"          (0..5 s, finer at short times)
--   CC 93  chorus depth       -> "Modulation Wet/Dry" (0..100 %)
--
-- Filter cutoff and Q are heard once "Filter Type" is not Thru; the chorus depth once
-- "Modulation On/Off" is on.
--
-- NRPN: after a controller selects parameter number n with CC 99 (MSB) and CC 98 (LSB), data
-- entry (CC 6, CC 38) sets parameter n of the instrument (its identifier, see `velluna params`),
-- the 14-bit value 0..16383 spread over the parameter's range. Selecting a registered parameter
-- (CC 101/100, such as a host's pitch-bend-range message) switches this off until the next
-- CC 99/98, so such messages never touch the instrument's parameters.
--
-- Every channel is treated alike. The tables below are globals, so a user script (which runs
-- after this one) can change or remove a mapping, for example:
--   defaultControllerMap[1] = nil                                 -- mod wheel does nothing
--   defaultControllerMap[16] = { name = "Filter LFO Amount" }     -- CC 16 -> linear 0..3
--   defaultNRPNEnabled = false                                    -- NRPN does nothing

local function linear(min, max)
    return function(v) return min + (max - min) * v / 127 end
end

-- Squared: half of the range of the controller covers the first quarter of the times.
local function squared(min, max)
    return function(v)
        local x = v / 127
        return min + (max - min) * x * x
    end
end

local function exponential(min, max)
    return function(v) return min * (max / min) ^ (v / 127) end
end

-- controller number -> { name = parameter name, curve = function(0..127) -> value }.
-- Without a curve the parameter's whole range is used linearly.
defaultControllerMap = {
    [1] = { name = "PW LFO Amount" },
    [7] = { name = "Volume" },
    [71] = { name = "Filter Q" },
    [72] = { name = "Release", curve = squared(0, 5) },
    [73] = { name = "Attack", curve = squared(0, 5) },
    [74] = { name = "Filter Cutoff", curve = exponential(50, 12000) },
    [75] = { name = "Decay", curve = squared(0, 5) },
    [93] = { name = "Modulation Wet/Dry" },
}

defaultNRPNEnabled = true

requestAllCC(function(channel, controller, value)
    local entry = defaultControllerMap[controller]
    if entry == nil then
        return
    end
    local curve = entry.curve
    if curve == nil then
        curve = linear(getParameterMinMax(entry.name))
        entry.curve = curve
    end
    setParameter(entry.name, curve(value))
end)

-- NRPN selection: only a number selected with CC 99/98 is acted on.
local nrpnSelected = false
requestCC(99, function() nrpnSelected = true end)
requestCC(98, function() nrpnSelected = true end)
requestCC(101, function() nrpnSelected = false end)
requestCC(100, function() nrpnSelected = false end)

requestAllNRPN(function(channel, number, value)
    if not (defaultNRPNEnabled and nrpnSelected) or number >= getNumParameters() then
        return
    end
    local min, max = getParameterMinMax(number)
    setParameter(number, min + (max - min) * value / 16383)
end)
