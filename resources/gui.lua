-- Velluna's front panel: the bundled skin. A skin installed by the user runs before this file;
-- every function below is defined only when the skin has not defined it already, so a skin may
-- replace any part (its size, fonts or the whole panel) and leave the rest to this one.
--
-- Design size 1000 x 500, y upward from the bottom. Knobs have no captions of their own where a
-- grid has row and column headings; the banner shows the name and value of whatever is hovered.

local W, H = 1000, 500
local K = 22       -- knob size
local PITCH = 40   -- knob spacing in a captioned row
local ROW = 40     -- a captioned row: knob, caption and a gap
local GAP = 28     -- between the contents of two neighbouring groups (frames are 10 outside)
local TOP = 458    -- top of the contents of the upper groups
local MID = 284    -- top of the contents of the lower groups

local function faces(size)
    return {{name = "fonts/DejaVuSans.ttf", size = size}, {name = "DejaVu Sans", size = size}}
end

if not getWindowSize then
    function getWindowSize() return W, H end
end
if not getFont then
    function getFont() return faces(11) end
end
if not getLabelFont then
    function getLabelFont() return faces(9) end
end
if not getTextFieldFont then
    function getTextFieldFont() return faces(10) end
end

local function caption(g, text, x, y, justification, width)
    local l = label(text, x, y, justification or "c", width or 0, 0)
    l:setBackgroundColour(0, 0, 0, 0)
    l:setForegroundColour(0.72, 0.78, 0.88, 1)
    g:add(l)
    return l
end

local function heading(g, text, x, y, justification, width)
    local l = caption(g, text, x, y, justification, width)
    l:setForegroundColour(0.55, 0.7, 0.9, 1)
    return l
end

-- A knob with its caption underneath; top is the knob's top edge, x its left edge.
local function captioned(g, param, text, x, top, size)
    size = size or K
    g:add(knob(param, x, top - size, size))
    caption(g, text, x + size / 2, top - size - 1)
end

-- A row of captioned knobs from x, their tops at top: items are {param, caption} pairs. Returns
-- the top of the next row.
local function knobRow(g, items, x, top, pitch)
    pitch = pitch or PITCH
    for i, item in ipairs(items) do
        captioned(g, item[1], item[2], x + (i - 1) * pitch + (pitch - K) / 2, top)
    end
    return top - ROW
end

-- A grid of knobs with column headings along the top and row headings on the left. cells[r][c]
-- is a parameter name or false for an empty cell; (x, top) is the grid's upper-left corner and
-- headWidth the room of the row headings.
local function knobGrid(g, x, top, headWidth, columns, rows, cells, pitchX, pitchY)
    pitchX, pitchY = pitchX or 32, pitchY or 28
    for c, text in ipairs(columns) do
        heading(g, text, x + headWidth + (c - 1) * pitchX + pitchX / 2, top)
    end
    for r, text in ipairs(rows) do
        local y = top - 12 - r * pitchY + (pitchY - K) / 2
        heading(g, text, x, y + K / 2 + 6, "l")
        for c = 1, #columns do
            local param = cells[r][c]
            if param then
                g:add(knob(param, x + headWidth + (c - 1) * pitchX + (pitchX - K) / 2, y, K))
            end
        end
    end
    return top - 12 - #rows * pitchY
end

local function display(g, element) g:add(element) end

-- The 16 partial levels and their envelope choices (none, 1, 2, 3) under the waveform they make.
local function partials(x, width)
    local g = group("Partials")
    display(g, waveformDisplay(x, TOP - 40, width, 40))
    g:add(levelsSliders(x, TOP - 106, width, 60))
    g:add(envSelSliders(x, TOP - 142, width, 32))
end

-- One of the three six-stage partial envelopes: its display over a grid of stage times, shapes
-- and levels (the level reached at the end of each stage; the last release falls to zero).
local function partialEnvelope(n, x, width)
    local g = group("Envelope " .. n)
    local p = "Env " .. n .. " "
    display(g, envDisplay(n, x, TOP - 38, width, 38))
    local stages = {"A1", "A2", "A3", "R1", "R2"}
    local times, shapes = {}, {}
    for i, s in ipairs(stages) do
        times[i] = p .. "Time " .. s
        shapes[i] = p .. "Shape " .. s
    end
    local levels = {p .. "Level A1", p .. "Level A2", p .. "Sustain", p .. "Level R1", false}
    knobGrid(g, x, TOP - 46, width - 5 * 32, stages, {"time", "shape", "level"},
             {times, shapes, levels})
end

local function amplitude(x, width)
    local g = group("Amplitude")
    display(g, adsrEnvDisplay("amp", x, MID - 40, width, 40))
    knobGrid(g, x, MID - 48, width - 4 * 32, {"A", "D", "S", "R"}, {"time", "shape"},
             {{"Attack", "Decay", "Sustain", "Release"},
              {"Attack Shape", "Decay Shape", false, "Release Shape"}})
end

local function pulseWidth(x, width)
    local g = group("Pulse Width")
    display(g, adsrEnvDisplay("pw", x, MID - 40, width, 40))
    local top = knobRow(g, {{"Pulse Width", "width"}, {"PW LFO Speed", "rate"},
                            {"PW LFO Amount", "depth"}}, x, MID - 48)
    heading(g, "< LFO", x + 3 * PITCH + 4, MID - 52, "l")
    knobRow(g, {{"PW Env Attack", "A"}, {"PW Env Decay", "D"}, {"PW Env Sustain", "S"},
                {"PW Env Release", "R"}, {"PW Env Amount", "amount"}}, x, top)
end

local function filter(x, width)
    local g = group("Filter")
    display(g, adsrEnvDisplay("filter", x, MID - 40, width, 40))
    local top = knobRow(g, {{"Filter Cutoff", "cutoff"}, {"Filter Q", "Q"},
                            {"Filter Type", "type"}, {"Filter KB Track", "key trk"}}, x, MID - 48)
    heading(g, "LFO >", x + 2 * PITCH + 6, top - 4, "r")
    top = knobRow(g, {{"Filter LFO Speed", "rate"}, {"Filter LFO Amount", "depth"},
                      {"Filter LFO Type Amount", "type"}}, x + 2 * PITCH, top)
    knobRow(g, {{"Filter Env Attack", "A"}, {"Filter Env Decay", "D"},
                {"Filter Env Sustain", "S"}, {"Filter Env Release", "R"},
                {"Filter Env Amount", "amount"}}, x, top)
end

-- The four tremolo LFOs: rate, multiplier, key tracking, offset and amount.
local function lfos(x, width)
    local g = group("LFOs")
    local cells = {}
    for n = 1, 4 do
        local p = "LFO " .. n .. " "
        cells[n] = {p .. "Speed", p .. "Multiplier", p .. "KB Track", p .. "Offset", p .. "Amount"}
    end
    knobGrid(g, x, MID, width - 5 * 34, {"rate", "mult", "key", "offset", "amt"},
             {"1", "2", "3", "4"}, cells, 34, 28)
end

local function modulation(x, top)
    local g = group("Modulation")
    local next = knobRow(g, {{"Modulation On/Off", "on"}, {"Modulation Wet/Dry", "mix"},
                             {"Modulation Delay", "delay"}, {"Modulation Sweep", "sweep"},
                             {"Modulation Rate", "rate"}}, x, top)
    knobRow(g, {{"Modulation Feedback", "fdbk"}, {"Modulation Spread", "spread"},
                {"Modulation Voices", "voices"}, {"Modulation Shape", "shape"}}, x, next)
end

local function velocity(x, top)
    local g = group("Velocity")
    knobRow(g, {{"Velocity Env Amount", "amp"}, {"Velocity Filter Amount", "cutoff"},
                {"Velocity Filter Env Amount", "flt env"}, {"Velocity PW Amount", "width"},
                {"Velocity PW Env Amount", "pw env"}}, x, top)
end

local function tune(x, top)
    local g = group("Tune")
    knobRow(g, {{"Coarse Tune", "coarse"}, {"Fine Tune", "fine"}, {"Pitch Wheel Range", "bend"}},
            x, top, 36)
end

-- Volume (the banner reads it in dB), the OSC port offset, typed, and the preferences.
local function output(x, top, width)
    local g = group("Output")
    captioned(g, "Volume", "volume", x + (width - 34) / 2, top, 34)
    heading(g, "OSC port +", x + width / 2, top - 54)
    g:add(textField("OSC Port Offset", x + (width - 40) / 2, top - 86, 40, 16, "%.0f"))
    g:add(button("Prefs", "Prefs", x + (width - 64) / 2, top - 118, 64, 20))
end

if not createUI then
    function createUI()
        setBannerPosition(H - 20)
        setBannerColour(0.6, 0.75, 1.0, 0.06)
        setBannerTextColour(0.72, 0.8, 0.92, 1)
        setGroupInactiveColour(0.45, 0.5, 0.6, 0.55)
        setGroupActiveColour(0.55, 0.8, 1.0, 0.8)

        theKnobRenderer = knobRenderer()
        theRipples = ripples(texture("ripple.png"))
        theVortex = vortex(0, 0, W, H)

        -- The upper row: the partials and their three envelopes.
        local x = 18
        partials(x, 280)
        x = x + 280 + GAP
        for n = 1, 3 do
            partialEnvelope(n, x, 200)
            x = x + 200 + GAP
        end
        -- The lower row: each column one or two groups.
        x = 18
        amplitude(x, 160)
        tune(x + 26, 80)
        x = x + 160 + GAP
        pulseWidth(x, 200)
        modulation(x, 120)
        x = x + 200 + GAP
        filter(x, 200)
        velocity(x, 80)
        x = x + 200 + GAP
        lfos(x, 190)
        x = x + 190 + GAP
        output(x, MID, W - 18 - x)
    end
end
