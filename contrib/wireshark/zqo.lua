-- Wireshark dissector for the zqosrv game protocol (docs/PROTOCOL.md).
--
-- Decodes the server's TCP port (12578) and its UDP ports (base 28500 plus socket numbers
-- 1 to 63); both are preferences (Edit > Preferences > Protocols > ZQO, or tshark's
-- -o zqo.tcp_port:N -o zqo.udp_base:N). Messages that span TCP segments are reassembled.
-- Every message becomes one "ZQO" tree with its fields named and shown as zqo-bot's trace
-- shows them; short payloads, unknown types, a header byte 2 other than 0 and stray datagram
-- bytes are flagged as expert information.
--
-- Use: wireshark -X lua_script:contrib/wireshark/zqo.lua capture.pcap
--  or: copy it into ~/.local/lib/wireshark/plugins/

local zqo = Proto("zqo", "ZQO game protocol")

zqo.prefs.tcp_port = Pref.uint("Server TCP port", 12578, "The server's TCP port")
zqo.prefs.udp_base = Pref.uint("Base UDP port", 28500,
                               "The server's UDP port for socket number n is this plus n (1 to 63)")

-- Header.
local f_length = ProtoField.uint16("zqo.length", "Length", base.DEC)
local f_byte2 = ProtoField.uint8("zqo.byte2", "Header byte 2", base.HEX)
local f_code = ProtoField.uint8("zqo.code", "Code", base.HEX)
local f_type = ProtoField.string("zqo.type", "Type")
local f_dir = ProtoField.string("zqo.direction", "Direction")

-- Payload fields, named as zqo-bot names them.
local F = {}
local function uint(abbr, name, kind) F[name] = kind("zqo." .. abbr, name, base.DEC) end
uint("guid", "GUID", ProtoField.uint32)
uint("client_code", "ClientCode", ProtoField.uint16)
uint("x", "X", ProtoField.uint16)
uint("y", "Y", ProtoField.uint16)
uint("z", "Z", ProtoField.uint8)
uint("lead", "Lead", ProtoField.uint8)
uint("pad", "Pad", ProtoField.uint8)
uint("facing", "Facing", ProtoField.uint8)
uint("state_byte", "StateByte", ProtoField.uint8)
uint("move_flags", "MoveFlags", ProtoField.uint8)
uint("reserved", "Reserved", ProtoField.uint32)
uint("stop_x", "StopX", ProtoField.int16)
uint("stop_y", "StopY", ProtoField.int16)
uint("game_time", "GameTime", ProtoField.uint32)
uint("seq", "Seq", ProtoField.uint8)
uint("tick", "Tick", ProtoField.uint32)
uint("round_trip", "RoundTrip", ProtoField.uint32)
uint("port", "Port", ProtoField.uint16)
uint("key", "Key", ProtoField.uint8)
uint("target_x", "TargetX", ProtoField.uint16)
uint("target_y", "TargetY", ProtoField.uint16)
uint("client_value", "ClientValue", ProtoField.uint32)
uint("duration", "Duration", ProtoField.uint32)
F.DirX = ProtoField.double("zqo.dir_x", "DirX")
F.DirY = ProtoField.double("zqo.dir_y", "DirY")
F.Speed = ProtoField.float("zqo.speed", "Speed")
local function text(abbr, name) F[name] = ProtoField.bytes("zqo." .. abbr, name) end
text("text", "Text")
text("version", "Version")
text("identity", "Identity")
text("name", "Name")
text("password", "Password")
text("rest", "Rest")
text("payload", "Payload")

local fields = {f_length, f_byte2, f_code, f_type, f_dir}
for _, f in pairs(F) do fields[#fields + 1] = f end
zqo.fields = fields

local e_short = ProtoExpert.new("zqo.short", "Payload shorter than this message's fields",
                                expert.group.MALFORMED, expert.severity.ERROR)
local e_unknown = ProtoExpert.new("zqo.unknown", "Unknown message type",
                                  expert.group.UNDECODED, expert.severity.WARN)
local e_byte2 = ProtoExpert.new("zqo.byte2", "Header byte 2 is not 0: the server drops this message",
                                expert.group.MALFORMED, expert.severity.WARN)
local e_stray = ProtoExpert.new("zqo.stray", "Datagram bytes that are not a whole message (dropped)",
                                expert.group.MALFORMED, expert.severity.WARN)
zqo.experts = {e_short, e_unknown, e_byte2, e_stray}

-- Text as zqo-bot prints it: printable ASCII as it is, '"' and '\' escaped, other bytes \xHH.
local function quote(s)
  local out = {'"'}
  for i = 1, #s do
    local b = s:byte(i)
    if b == 34 or b == 92 then
      out[#out + 1] = "\\" .. string.char(b)
    elseif b >= 0x20 and b < 0x7F then
      out[#out + 1] = string.char(b)
    else
      out[#out + 1] = string.format("\\x%02X", b)
    end
  end
  out[#out + 1] = '"'
  return table.concat(out)
end

-- Field readers: each adds one item "Name: value", the value as zqo-bot prints it.
local function reader(width, value)
  return function(t, tvb, at, name)
    local range = tvb(at, width)
    t:add_le(F[name], range):set_text(name .. ": " .. value(range))
  end
end
local R = {
  u8 = reader(1, function(r) return r:le_uint() end),
  u16 = reader(2, function(r) return r:le_uint() end),
  u32 = reader(4, function(r) return r:le_uint() end),
  i16 = reader(2, function(r) return r:le_int() end),
  f32 = reader(4, function(r) return string.format("%.17g", r:le_float()) end),
  f64 = reader(8, function(r) return string.format("%.17g", r:le_float()) end),
}
-- Text runs to the end of the payload.
function R.text(t, tvb, at, last, name)
  local n = last - at
  local raw = n > 0 and tvb(at, n):raw() or ""
  local item = n > 0 and t:add(F[name], tvb(at, n)) or t:add(F[name], tvb(at, 0))
  item:set_text(name .. ": " .. quote(raw))
end

-- Message tables by code: name, fixed payload size, field decoder(tree, tvb, payload, end).
local function texts(name) return function(t, tvb, p, e) R.text(t, tvb, p, e, name) end end
local function nothing(t, tvb, p, e) if e > p then R.text(t, tvb, p, e, "Payload") end end
local function key_record(t, tvb, p)
  R.u8(t, tvb, p + 1, "Key")
  R.u16(t, tvb, p + 2, "TargetX")
  R.u16(t, tvb, p + 4, "TargetY")
  R.u32(t, tvb, p + 10, "ClientValue")
end
local function seq_and(second)
  return function(t, tvb, p)
    R.u8(t, tvb, p, "Seq")
    R.u32(t, tvb, p + 1, second)
  end
end
local function key_ack(t, tvb, p)
  R.u8(t, tvb, p, "Key")
  R.u32(t, tvb, p + 1, "ClientValue")
end

local to_server = {
  [0x07] = {"SetClientCode", 2, function(t, tvb, p, e)
    R.u16(t, tvb, p, "ClientCode")
    if e > p + 2 then R.text(t, tvb, p + 2, e, "Rest") end
  end},
  [0x0B] = {"QueryIdentity", 0, nothing},
  [0x0F] = {"ClientSay", 0, texts("Text")},
  [0x1B] = {"BEATACK", 5, seq_and("Tick")},
  [0x1C] = {"LoginName", 0, texts("Name")},
  [0x1E] = {"LoginPassword", 0, texts("Password")},
  [0x25] = {"ClientGone", 0, nothing},
  [0x28] = {"ClientUDPPort", 2, function(t, tvb, p) R.u16(t, tvb, p, "Port") end},
  [0x29] = {"StartGame", 0, nothing},
  [0x2C] = {"KeyDown", 14, key_record},
  [0x2E] = {"KeyUp", 14, key_record},
}

local to_client = {
  [0x04] = {"PlayerInfo", 12, function(t, tvb, p)
    R.u32(t, tvb, p, "GUID")
    R.u16(t, tvb, p + 4, "ClientCode")
    R.u8(t, tvb, p + 6, "Facing")
    R.u8(t, tvb, p + 7, "StateByte")
    R.u16(t, tvb, p + 8, "X")
    R.u16(t, tvb, p + 10, "Y")
  end},
  [0x05] = {"PlayerLeft", 8, function(t, tvb, p)
    R.u32(t, tvb, p, "GUID")
    R.u32(t, tvb, p + 4, "Tick")
  end},
  [0x0A] = {"IdentityReply", 0, texts("Identity")},
  [0x1A] = {"BEAT", 5, seq_and("Tick")},
  [0x20] = {"ServerFull", 0, texts("Text")},
  [0x27] = {"UDPPortAssign", 2, function(t, tvb, p) R.u16(t, tvb, p, "Port") end},
  [0x2B] = {"PasswordPrompt", 0, texts("Text")},
  [0x2D] = {"BEATACKReply", 5, seq_and("RoundTrip")},
  [0x2F] = {"PlayerMotion", 45, function(t, tvb, p)
    R.u32(t, tvb, p, "GUID")
    R.u16(t, tvb, p + 4, "ClientCode")
    R.u16(t, tvb, p + 6, "X")
    R.u16(t, tvb, p + 8, "Y")
    R.u8(t, tvb, p + 10, "StateByte")
    R.u8(t, tvb, p + 11, "Facing")
    R.u8(t, tvb, p + 12, "MoveFlags")
    R.u32(t, tvb, p + 13, "Reserved")
    R.f64(t, tvb, p + 17, "DirX")
    R.f64(t, tvb, p + 25, "DirY")
    R.i16(t, tvb, p + 33, "StopX")
    R.i16(t, tvb, p + 35, "StopY")
    R.f32(t, tvb, p + 37, "Speed")
    R.u32(t, tvb, p + 41, "GameTime")
  end},
  [0x30] = {"Welcome", 0, texts("Text")},
  [0x32] = {"KeyUpAck", 5, key_ack},
  [0x33] = {"KeyDownAck", 5, key_ack},
  [0x40] = {"ServerVersion", 0, texts("Version")},
  [0x50] = {"ConnectDone", 0, texts("Text")},
  [0xC0] = {"AssignGUID", 4, function(t, tvb, p) R.u32(t, tvb, p, "GUID") end},
  [0xD0] = {"PlayerSpeech", 8, function(t, tvb, p, e)
    R.u32(t, tvb, p, "GUID")
    R.u32(t, tvb, p + 4, "Duration")
    R.text(t, tvb, p + 8, e, "Text")
  end},
  [0xE0] = {"StartPosition", 7, function(t, tvb, p)
    R.u8(t, tvb, p, "Lead")
    R.u8(t, tvb, p + 1, "Pad")
    R.u16(t, tvb, p + 2, "X")
    R.u16(t, tvb, p + 4, "Y")
    R.u8(t, tvb, p + 6, "Z")
  end},
}

-- One whole message at `at`; returns its name for the Info column.
local function dissect_message(tvb, at, pinfo, tree, to_srv, transport)
  local length = tvb(at, 2):le_uint()
  local byte2 = tvb(at + 2, 1):uint()
  local code = tvb(at + 3, 1):uint()
  local known = (to_srv and to_server or to_client)[code]
  local name = known and known[1] or string.format("Unknown 0x%02X", code)
  local dir = to_srv and "client to server" or "server to client"
  local t = tree:add(zqo, tvb(at, 4 + length))
  t:set_text("ZQO " .. name .. " (" .. dir .. ", " .. transport .. ")")
  t:add(f_type, name):set_generated()
  t:add(f_dir, dir):set_generated()
  t:add_le(f_length, tvb(at, 2))
  local b2 = t:add(f_byte2, tvb(at + 2, 1))
  t:add(f_code, tvb(at + 3, 1)):append_text(" (" .. name .. ")")
  if byte2 ~= 0 then b2:add_proto_expert_info(e_byte2) end
  if not known then
    t:add_proto_expert_info(e_unknown)
    return name
  end
  local p, e = at + 4, at + 4 + length
  if length < known[2] then
    t:add_proto_expert_info(e_short, name .. " needs " .. known[2] .. " payload bytes, got " ..
                            length)
    return name .. " [short]"
  end
  known[3](t, tvb, p, e)
  return name
end

local function to_server_tcp(pinfo)
  return pinfo.dst_port == zqo.prefs.tcp_port
end

local function to_server_udp(pinfo)
  local base = zqo.prefs.udp_base
  return pinfo.dst_port >= base and pinfo.dst_port <= base + 63
end

local function add_info(pinfo, names)
  if #names > 0 then pinfo.cols.info:set(table.concat(names, ", ")) end
end

local function dissect_tcp(tvb, pinfo, tree)
  pinfo.cols.protocol:set("ZQO")
  local n, at, names = tvb:len(), 0, {}
  local to_srv = to_server_tcp(pinfo)
  while at < n do
    local need = 4
    if n - at >= 4 then need = 4 + tvb(at, 2):le_uint() end
    if n - at < need then
      pinfo.desegment_offset = at
      pinfo.desegment_len = n - at < 4 and DESEGMENT_ONE_MORE_SEGMENT or need - (n - at)
      add_info(pinfo, names)
      return n
    end
    names[#names + 1] = dissect_message(tvb, at, pinfo, tree, to_srv, "TCP")
    at = at + need
  end
  add_info(pinfo, names)
  return at
end

local function dissect_udp(tvb, pinfo, tree)
  pinfo.cols.protocol:set("ZQO")
  local n, at, names = tvb:len(), 0, {}
  local to_srv = to_server_udp(pinfo)
  while n - at >= 4 and n - at >= 4 + tvb(at, 2):le_uint() do
    names[#names + 1] = dissect_message(tvb, at, pinfo, tree, to_srv, "UDP")
    at = at + 4 + tvb(at, 2):le_uint()
  end
  if at < n then
    local t = tree:add(zqo, tvb(at, n - at))
    t:set_text("ZQO stray bytes (" .. (n - at) .. ")")
    t:add_proto_expert_info(e_stray)
    names[#names + 1] = "stray bytes"
  end
  add_info(pinfo, names)
  return n
end

function zqo.dissector(tvb, pinfo, tree)
  if pinfo.port_type == 2 then return dissect_tcp(tvb, pinfo, tree) end
  return dissect_udp(tvb, pinfo, tree)
end

local registered = {}
local function register()
  local tcp, udp = DissectorTable.get("tcp.port"), DissectorTable.get("udp.port")
  if registered.tcp then tcp:remove(registered.tcp, zqo) end
  if registered.udp then udp:remove(registered.udp, zqo) end
  registered.tcp = zqo.prefs.tcp_port
  registered.udp = string.format("%d-%d", zqo.prefs.udp_base, zqo.prefs.udp_base + 63)
  tcp:add(registered.tcp, zqo)
  udp:add(registered.udp, zqo)
end

zqo.prefs_changed = register
register()
