-- Quorvel DP telegram trace: a Wireshark dissector for the pcapng traces that
-- Quorvel records (link type USER0, one telegram per packet, direction in the
-- packet flags). It decodes the telegram frame (SD1, SD2, SD3, SD4, SC), the
-- addresses with their SAP extension bit, the function code, the DP service
-- the SAPs name with its data, and the Data_Exchange data units as Quorvel's
-- command channel and weighing-module blocks. Packets without bytes are the
-- recorder's comments (start, stop, port lost, port back); a packet whose
-- comment begins "dropped:" holds received bytes the master dropped (a
-- corrupt telegram or noise, a character with a parity error) and is marked
-- with the reason; bytes behind a whole telegram are marked as trailing. A
-- token (SD4) or a request that the master received is another master's on
-- the bus: it is marked so, with that master as the source.
--
-- Use: copy this file into Wireshark's personal Lua plugins folder, or run
--   tshark -X lua_script:quorvel-dp.lua -r trace.pcapng -V

local dp = Proto("quorveldp", "Quorvel PROFIBUS DP telegram")

local SD1, SD2, SD3, SD4, SC, ED = 0x10, 0x68, 0xA2, 0xDC, 0xE5, 0x16

local request_functions = {
    [0x0] = "Time event", [0x3] = "SDA low", [0x4] = "SDN low", [0x5] = "SDA high",
    [0x6] = "SDN high", [0x7] = "MSRD", [0x9] = "Request FDL Status", [0xC] = "SRD low",
    [0xD] = "SRD high", [0xE] = "Request Ident with reply", [0xF] = "Request LSAP status",
}
local response_functions = {
    [0x0] = "OK", [0x1] = "UE user error", [0x2] = "RR no resources", [0x3] = "RS SAP not enabled",
    [0x8] = "DL data low", [0x9] = "NR no response data", [0xA] = "DH data high",
    [0xC] = "RDL data low, no resources", [0xD] = "RDH data high, no resources",
}
local station_types = {
    [0] = "Slave", [1] = "Master not ready", [2] = "Master ready for the token ring", [3] = "Master in the token ring",
}
local services = {
    [55] = "Set_Slave_Add", [56] = "Rd_Inp", [57] = "Rd_Outp", [58] = "Global_Control",
    [59] = "Get_Cfg", [60] = "Slave_Diag", [61] = "Set_Prm", [62] = "Chk_Cfg",
}
local delimiters = { [SD1] = "SD1", [SD2] = "SD2", [SD3] = "SD3", [SD4] = "SD4 (token)", [SC] = "SC (short acknowledgement)" }

local f = {
    direction = ProtoField.string("quorveldp.direction", "Direction"),
    start = ProtoField.bytes("quorveldp.start_sequence", "Start sequence"),
    note = ProtoField.string("quorveldp.comment", "Comment"),
    dropped = ProtoField.bytes("quorveldp.dropped", "Dropped bytes", base.SPACE),
    trailing = ProtoField.bytes("quorveldp.trailing", "Trailing bytes", base.SPACE),
    sd = ProtoField.uint8("quorveldp.sd", "Start delimiter", base.HEX, delimiters),
    le = ProtoField.uint8("quorveldp.le", "Length"),
    ler = ProtoField.uint8("quorveldp.ler", "Length repeated"),
    da = ProtoField.uint8("quorveldp.da", "Destination address", base.DEC, nil, 0x7F),
    da_ext = ProtoField.bool("quorveldp.da.ext", "DSAP follows (address extension)", 8, nil, 0x80),
    sa = ProtoField.uint8("quorveldp.sa", "Source address", base.DEC, nil, 0x7F),
    sa_ext = ProtoField.bool("quorveldp.sa.ext", "SSAP follows (address extension)", 8, nil, 0x80),
    fc = ProtoField.uint8("quorveldp.fc", "Function code", base.HEX),
    fc_request = ProtoField.bool("quorveldp.fc.request", "Request", 8, { "Request", "Response" }, 0x40),
    fc_fcb = ProtoField.bool("quorveldp.fc.fcb", "FCB (frame count bit)", 8, nil, 0x20),
    fc_fcv = ProtoField.bool("quorveldp.fc.fcv", "FCV (frame count bit valid)", 8, nil, 0x10),
    fc_station = ProtoField.uint8("quorveldp.fc.station_type", "Station type", base.DEC, station_types, 0x30),
    fc_req_function = ProtoField.uint8("quorveldp.fc.function", "Function", base.HEX, request_functions, 0x0F),
    fc_resp_function = ProtoField.uint8("quorveldp.fc.response", "Response", base.HEX, response_functions, 0x0F),
    dsap = ProtoField.uint8("quorveldp.dsap", "DSAP", base.DEC),
    ssap = ProtoField.uint8("quorveldp.ssap", "SSAP", base.DEC),
    service = ProtoField.string("quorveldp.service", "DP service"),
    du = ProtoField.bytes("quorveldp.du", "Data unit"),
    fcs = ProtoField.uint8("quorveldp.fcs", "Check sum", base.HEX),
    fcs_status = ProtoField.string("quorveldp.fcs.status", "Check sum status"),
    ed = ProtoField.uint8("quorveldp.ed", "End delimiter", base.HEX),

    -- Set_Prm
    prm_status = ProtoField.uint8("quorveldp.prm.station_status", "Station_Status", base.HEX),
    prm_lock = ProtoField.bool("quorveldp.prm.lock_req", "Lock_Req", 8, nil, 0x80),
    prm_unlock = ProtoField.bool("quorveldp.prm.unlock_req", "Unlock_Req", 8, nil, 0x40),
    prm_sync = ProtoField.bool("quorveldp.prm.sync_req", "Sync_Req", 8, nil, 0x20),
    prm_freeze = ProtoField.bool("quorveldp.prm.freeze_req", "Freeze_Req", 8, nil, 0x10),
    prm_wd_on = ProtoField.bool("quorveldp.prm.wd_on", "WD_On", 8, nil, 0x08),
    prm_wd1 = ProtoField.uint8("quorveldp.prm.wd_fact_1", "WD_Fact_1"),
    prm_wd2 = ProtoField.uint8("quorveldp.prm.wd_fact_2", "WD_Fact_2"),
    prm_watchdog = ProtoField.uint32("quorveldp.prm.watchdog_ms", "Watchdog time (ms)"),
    prm_tsdr = ProtoField.uint8("quorveldp.prm.min_tsdr", "Min_Tsdr (bit times)"),
    ident = ProtoField.uint16("quorveldp.ident_number", "Ident_Number", base.HEX),
    prm_group = ProtoField.uint8("quorveldp.prm.group_ident", "Group_Ident", base.HEX),
    prm_user = ProtoField.bytes("quorveldp.prm.user_prm_data", "User_Prm_Data", base.SPACE),

    -- Chk_Cfg, Get_Cfg
    cfg_id = ProtoField.uint8("quorveldp.cfg.identifier", "Identifier", base.HEX),

    -- Global_Control
    gc_command = ProtoField.uint8("quorveldp.gc.control_command", "Control_Command", base.HEX),
    gc_clear = ProtoField.bool("quorveldp.gc.clear_data", "Clear_Data", 8, nil, 0x02),
    gc_unfreeze = ProtoField.bool("quorveldp.gc.unfreeze", "Unfreeze", 8, nil, 0x04),
    gc_freeze = ProtoField.bool("quorveldp.gc.freeze", "Freeze", 8, nil, 0x08),
    gc_unsync = ProtoField.bool("quorveldp.gc.unsync", "Unsync", 8, nil, 0x10),
    gc_sync = ProtoField.bool("quorveldp.gc.sync", "Sync", 8, nil, 0x20),
    gc_group = ProtoField.uint8("quorveldp.gc.group_select", "Group_Select", base.HEX),

    -- Slave_Diag
    diag_s1 = ProtoField.uint8("quorveldp.diag.station_status_1", "Station_Status_1", base.HEX),
    diag_non_existent = ProtoField.bool("quorveldp.diag.station_non_existent", "Station_Non_Existent", 8, nil, 0x01),
    diag_not_ready = ProtoField.bool("quorveldp.diag.station_not_ready", "Station_Not_Ready", 8, nil, 0x02),
    diag_cfg_fault = ProtoField.bool("quorveldp.diag.cfg_fault", "Cfg_Fault", 8, nil, 0x04),
    diag_ext = ProtoField.bool("quorveldp.diag.ext_diag", "Ext_Diag", 8, nil, 0x08),
    diag_not_supported = ProtoField.bool("quorveldp.diag.not_supported", "Not_Supported", 8, nil, 0x10),
    diag_invalid = ProtoField.bool("quorveldp.diag.invalid_slave_response", "Invalid_Slave_Response", 8, nil, 0x20),
    diag_prm_fault = ProtoField.bool("quorveldp.diag.prm_fault", "Prm_Fault", 8, nil, 0x40),
    diag_master_lock = ProtoField.bool("quorveldp.diag.master_lock", "Master_Lock", 8, nil, 0x80),
    diag_s2 = ProtoField.uint8("quorveldp.diag.station_status_2", "Station_Status_2", base.HEX),
    diag_prm_req = ProtoField.bool("quorveldp.diag.prm_req", "Prm_Req", 8, nil, 0x01),
    diag_stat_diag = ProtoField.bool("quorveldp.diag.stat_diag", "Stat_Diag", 8, nil, 0x02),
    diag_fixed = ProtoField.bool("quorveldp.diag.fixed_one", "Always 1", 8, nil, 0x04),
    diag_wd_on = ProtoField.bool("quorveldp.diag.wd_on", "WD_On", 8, nil, 0x08),
    diag_freeze = ProtoField.bool("quorveldp.diag.freeze_mode", "Freeze_Mode", 8, nil, 0x10),
    diag_sync = ProtoField.bool("quorveldp.diag.sync_mode", "Sync_Mode", 8, nil, 0x20),
    diag_deactivated = ProtoField.bool("quorveldp.diag.deactivated", "Deactivated", 8, nil, 0x80),
    diag_s3 = ProtoField.uint8("quorveldp.diag.station_status_3", "Station_Status_3", base.HEX),
    diag_overflow = ProtoField.bool("quorveldp.diag.ext_diag_overflow", "Ext_Diag_Overflow", 8, nil, 0x80),
    diag_master = ProtoField.uint8("quorveldp.diag.master_add", "Diag.Master_Add", base.DEC, { [255] = "none" }),
    diag_ext_data = ProtoField.bytes("quorveldp.diag.ext_diag_data", "Ext_Diag_Data", base.SPACE),

    -- Data_Exchange: the command channel and the module blocks
    out_data = ProtoField.bytes("quorveldp.output", "Output data", base.SPACE),
    in_data = ProtoField.bytes("quorveldp.input", "Input data", base.SPACE),
    ch_unit = ProtoField.uint8("quorveldp.channel.unit", "Unit"),
    ch_reserved = ProtoField.uint8("quorveldp.channel.reserved", "Reserved", base.HEX),
    ch_cmd = ProtoField.uint8("quorveldp.channel.cmd", "Cmd", base.HEX),
    ch_stat = ProtoField.uint8("quorveldp.channel.stat", "Stat", base.HEX),
    ch_index = ProtoField.uint8("quorveldp.channel.index", "Index"),
    ch_value = ProtoField.int32("quorveldp.channel.value", "Value"),
    ch_value_hex = ProtoField.uint32("quorveldp.channel.value_hex", "Value (hex)", base.HEX),
    mod_output = ProtoField.uint8("quorveldp.module.output", "Module output byte", base.HEX),
    mod_number = ProtoField.uint8("quorveldp.module", "Module"),
    mod_gross = ProtoField.float("quorveldp.module.gross", "Gross"),
    mod_net = ProtoField.float("quorveldp.module.net", "Net"),
    mod_qualifier = ProtoField.uint16("quorveldp.module.qualifier", "Qualifier", base.HEX),
    mod_limit = ProtoField.uint8("quorveldp.module.limit_status", "Limit status", base.HEX),
    mod_status11 = ProtoField.uint8("quorveldp.module.status_11", "Status byte 11", base.HEX),
    mod_status12 = ProtoField.uint8("quorveldp.module.status_12", "Status byte 12", base.HEX),
    mod_maker = ProtoField.bytes("quorveldp.module.manufacturer", "Manufacturer bytes", base.SPACE),
}
dp.fields = f

local e_fcs = ProtoExpert.new("quorveldp.fcs.bad", "Wrong check sum", expert.group.CHECKSUM, expert.severity.ERROR)
local e_short = ProtoExpert.new("quorveldp.short", "Telegram cut short", expert.group.MALFORMED, expert.severity.ERROR)
local e_le = ProtoExpert.new("quorveldp.le.mismatch", "Length bytes differ", expert.group.MALFORMED, expert.severity.ERROR)
local e_ed = ProtoExpert.new("quorveldp.ed.bad", "Wrong end delimiter", expert.group.MALFORMED, expert.severity.ERROR)
local e_dropped = ProtoExpert.new("quorveldp.dropped", "Bytes dropped by the master", expert.group.MALFORMED,
    expert.severity.WARN)
local e_trailing = ProtoExpert.new("quorveldp.trailing", "Bytes behind the telegram", expert.group.MALFORMED,
    expert.severity.WARN)
local e_other_master = ProtoExpert.new("quorveldp.other_master", "Another master on the bus", expert.group.SEQUENCE,
    expert.severity.WARN)
dp.experts = { e_fcs, e_short, e_le, e_ed, e_dropped, e_trailing, e_other_master }

-- The packet's comment (the recorder's notes and reasons).
local ok_comment, comment_field = pcall(Field.new, "frame.comment")
if not ok_comment then comment_field = nil end
local function comment_of()
    local fi = comment_field and comment_field()
    return fi and tostring(fi.value) or ""
end

-- The packet flags' direction, for readers that leave p2p_dir unset.
local ok_dir, flags_direction = pcall(Field.new, "frame.packet_flags_direction")
if not ok_dir then flags_direction = nil end

local function direction_of(pinfo, is_request)
    local dir = pinfo.p2p_dir
    if dir == P2P_DIR_SENT then return "M->S" end
    if dir == P2P_DIR_RECV then return "S->M" end
    local fi = flags_direction and flags_direction()
    if fi then
        if fi.value == 2 then return "M->S" end
        if fi.value == 1 then return "S->M" end
    end
    if is_request == nil then return "?" end
    return is_request and "M->S" or "S->M"
end

local function sum8(tvb, first, count)
    local s = 0
    for i = first, first + count - 1 do s = (s + tvb(i, 1):uint()) % 256 end
    return s
end

-- One configuration identifier byte (and the length bytes of the special
-- format) starting at `at`; returns the bytes used.
local function add_identifier(tree, tvb, at, last)
    local id = tvb(at, 1):uint()
    local consistency = bit.band(id, 0x80) ~= 0 and ", consistent" or ""
    local unit = bit.band(id, 0x40) ~= 0 and "words" or "bytes"
    local kind = bit.band(bit.rshift(id, 4), 3)
    if kind ~= 0 or id == 0 then
        local names = { [0] = "empty", [1] = "input", [2] = "output", [3] = "input and output" }
        local text = id == 0 and "empty slot" or
            string.format("%s, %d %s%s", names[kind], bit.band(id, 0x0F) + 1, unit, consistency)
        tree:add(f.cfg_id, tvb(at, 1)):append_text(" (" .. text .. ")")
        return 1
    end
    -- Special format: bits 7-6 say which length bytes follow, bits 3-0 the
    -- manufacturer bytes after them.
    local io = bit.rshift(id, 6)
    local lengths = (io == 3) and 2 or ((io == 0) and 0 or 1)
    local maker = bit.band(id, 0x0F)
    local used = 1 + lengths + maker
    if at + used - 1 > last then used = last - at + 1 end
    local item = tree:add(f.cfg_id, tvb(at, used))
    local parts = {}
    local order = {}
    if io == 2 or io == 3 then order[#order + 1] = "output" end
    if io == 1 or io == 3 then order[#order + 1] = "input" end
    for n, name in ipairs(order) do
        if at + n <= last then
            local l = tvb(at + n, 1):uint()
            local u = bit.band(l, 0x40) ~= 0 and "words" or "bytes"
            parts[#parts + 1] = string.format("%s %d %s%s", name, bit.band(l, 0x3F) + 1, u,
                bit.band(l, 0x80) ~= 0 and " consistent" or "")
        end
    end
    if maker > 0 then parts[#parts + 1] = string.format("%d manufacturer bytes", maker) end
    item:append_text(" (special format: " .. table.concat(parts, ", ") .. ")")
    return used
end

local function add_configuration(tree, tvb, at, count)
    local last = at + count - 1
    local i = at
    local ids = 0
    while i <= last do
        i = i + add_identifier(tree, tvb, i, last)
        ids = ids + 1
    end
    return ids
end

local function add_set_prm(tree, tvb, at, count)
    if count < 7 then tree:add_proto_expert_info(e_short) return "" end
    local st = tree:add(f.prm_status, tvb(at, 1))
    for _, b in ipairs({ f.prm_lock, f.prm_unlock, f.prm_sync, f.prm_freeze, f.prm_wd_on }) do st:add(b, tvb(at, 1)) end
    tree:add(f.prm_wd1, tvb(at + 1, 1))
    tree:add(f.prm_wd2, tvb(at + 2, 1))
    tree:add(f.prm_watchdog, tvb(at + 1, 2), tvb(at + 1, 1):uint() * tvb(at + 2, 1):uint() * 10)
    tree:add(f.prm_tsdr, tvb(at + 3, 1))
    tree:add(f.ident, tvb(at + 4, 2))
    tree:add(f.prm_group, tvb(at + 6, 1))
    if count > 7 then tree:add(f.prm_user, tvb(at + 7, count - 7)) end
    return string.format(" Ident %04X", tvb(at + 4, 2):uint())
end

local function add_global_control(tree, tvb, at, count)
    if count < 2 then tree:add_proto_expert_info(e_short) return "" end
    local c = tree:add(f.gc_command, tvb(at, 1))
    for _, b in ipairs({ f.gc_clear, f.gc_unfreeze, f.gc_freeze, f.gc_unsync, f.gc_sync }) do c:add(b, tvb(at, 1)) end
    tree:add(f.gc_group, tvb(at + 1, 1))
    return ""
end

local function add_diagnosis(tree, tvb, at, count)
    if count < 6 then tree:add_proto_expert_info(e_short) return "" end
    local s1 = tree:add(f.diag_s1, tvb(at, 1))
    for _, b in ipairs({ f.diag_non_existent, f.diag_not_ready, f.diag_cfg_fault, f.diag_ext, f.diag_not_supported,
        f.diag_invalid, f.diag_prm_fault, f.diag_master_lock }) do s1:add(b, tvb(at, 1)) end
    local s2 = tree:add(f.diag_s2, tvb(at + 1, 1))
    for _, b in ipairs({ f.diag_prm_req, f.diag_stat_diag, f.diag_fixed, f.diag_wd_on, f.diag_freeze, f.diag_sync,
        f.diag_deactivated }) do s2:add(b, tvb(at + 1, 1)) end
    tree:add(f.diag_s3, tvb(at + 2, 1)):add(f.diag_overflow, tvb(at + 2, 1))
    tree:add(f.diag_master, tvb(at + 3, 1))
    tree:add(f.ident, tvb(at + 4, 2))
    if count > 6 then tree:add(f.diag_ext_data, tvb(at + 6, count - 6)) end
    -- The set status bits by name for the Info column.
    local names = {}
    local bits1 = { "Station_Non_Existent", "Station_Not_Ready", "Cfg_Fault", "Ext_Diag", "Not_Supported",
        "Invalid_Slave_Response", "Prm_Fault", "Master_Lock" }
    local bits2 = { "Prm_Req", "Stat_Diag", nil, "WD_On", "Freeze_Mode", "Sync_Mode", nil, "Deactivated" }
    for n, bits in ipairs({ bits1, bits2 }) do
        for i = 0, 7 do
            if bits[i + 1] and bit.band(tvb(at + n - 1, 1):uint(), bit.lshift(1, i)) ~= 0 then names[#names + 1] = bits[i + 1] end
        end
    end
    return string.format(" [%s] master %d Ident %04X", table.concat(names, " "), tvb(at + 3, 1):uint(),
        tvb(at + 4, 2):uint())
end

-- The command channel: unit, reserved, Cmd or Stat, Index, Value.
local function add_channel(tree, tvb, at, is_request)
    local ch = tree:add(dp, tvb(at, 8), "Command channel")
    ch:add(f.ch_unit, tvb(at, 1))
    ch:add(f.ch_reserved, tvb(at + 1, 1))
    ch:add(is_request and f.ch_cmd or f.ch_stat, tvb(at + 2, 1))
    ch:add(f.ch_index, tvb(at + 3, 1))
    ch:add(f.ch_value, tvb(at + 4, 4))
    ch:add(f.ch_value_hex, tvb(at + 4, 4))
    local text = string.format(" unit %d %s %02X Index %d Value %d", tvb(at, 1):uint(), is_request and "Cmd" or "Stat",
        tvb(at + 2, 1):uint(), tvb(at + 3, 1):uint(), tvb(at + 4, 4):int())
    ch:append_text(":" .. text)
    return text
end

local function add_data_exchange(tree, tvb, at, count, is_request)
    if count == 0 then return "" end
    local data = tree:add(is_request and f.out_data or f.in_data, tvb(at, count))
    if count < 8 then data:add_proto_expert_info(e_short) return "" end
    local info = add_channel(data, tvb, at, is_request)
    local k = 0
    if is_request then
        for i = at + 8, at + count - 1 do
            data:add(f.mod_output, tvb(i, 1)):prepend_text(string.format("Module %d: ", k))
            k = k + 1
        end
        return info
    end
    local i = at + 8
    while i + 16 <= at + count do
        local m = data:add(dp, tvb(i, 16), string.format("Module %d", k))
        m:add(f.mod_number, tvb(i, 0), k)
        m:add(f.mod_gross, tvb(i, 4))
        m:add(f.mod_net, tvb(i + 4, 4))
        m:add(f.mod_qualifier, tvb(i + 8, 2))
        m:add(f.mod_limit, tvb(i + 10, 1))
        m:add(f.mod_status11, tvb(i + 11, 1))
        m:add(f.mod_status12, tvb(i + 12, 1))
        m:add(f.mod_maker, tvb(i + 13, 3))
        m:append_text(string.format(": gross %.3f net %.3f qualifier %04X status %02X %02X", tvb(i, 4):float(),
            tvb(i + 4, 4):float(), tvb(i + 8, 2):uint(), tvb(i + 12, 1):uint(), tvb(i + 11, 1):uint()))
        if k == 0 then info = info .. string.format(" | gross %.3f net %.3f", tvb(i, 4):float(), tvb(i + 4, 4):float()) end
        k = k + 1
        i = i + 16
    end
    if i < at + count then data:add_proto_expert_info(e_short) end
    if k > 1 then info = info .. string.format(" (%d modules)", k) end
    return info
end

-- The service's data unit; returns text for the Info column.
local function add_service_data(tree, tvb, at, count, service, is_request)
    if service == "Set_Prm" and is_request then return add_set_prm(tree, tvb, at, count) end
    if (service == "Chk_Cfg" and is_request) or (service == "Get_Cfg" and not is_request) then
        if count == 0 then return "" end
        local cfg = tree:add(dp, tvb(at, count), "Configuration")
        return string.format(" %d identifiers", add_configuration(cfg, tvb, at, count))
    end
    if service == "Global_Control" and is_request then return add_global_control(tree, tvb, at, count) end
    if service == "Slave_Diag" and not is_request then return add_diagnosis(tree, tvb, at, count) end
    if service == "Data_Exchange" then return add_data_exchange(tree, tvb, at, count, is_request) end
    if count > 0 then tree:add(f.du, tvb(at, count)) end
    return ""
end

-- The service of the latest request, so that a reply without SAPs (SD1, SC,
-- Data_Exchange) is named after it. Kept per frame for the second pass.
local latest_request
local answers = {}

function dp.init()
    latest_request = nil
    answers = {}
end

local function remember_request(pinfo, service)
    if not pinfo.visited then latest_request = service end
end

local function answered_service(pinfo)
    if not pinfo.visited then answers[pinfo.number] = latest_request end
    return answers[pinfo.number]
end

local function add_fc(tree, tvb, at)
    local fc = tvb(at, 1):uint()
    local is_request = bit.band(fc, 0x40) ~= 0
    local item = tree:add(f.fc, tvb(at, 1))
    item:add(f.fc_request, tvb(at, 1))
    local fn
    if is_request then
        item:add(f.fc_fcb, tvb(at, 1))
        item:add(f.fc_fcv, tvb(at, 1))
        item:add(f.fc_req_function, tvb(at, 1))
        fn = request_functions[bit.band(fc, 0x0F)] or "reserved"
    else
        item:add(f.fc_station, tvb(at, 1))
        item:add(f.fc_resp_function, tvb(at, 1))
        fn = response_functions[bit.band(fc, 0x0F)] or "reserved"
    end
    item:append_text(string.format(" (%s, %s)", is_request and "request" or "response", fn))
    return is_request, fc, fn
end

-- DA SA FC [DSAP] [SSAP] data at `at` (count bytes up to the check sum).
local function add_body(tree, tvb, at, count, pinfo)
    local da, sa = tvb(at, 1):uint(), tvb(at + 1, 1):uint()
    tree:add(f.da, tvb(at, 1)):add(f.da_ext, tvb(at, 1))
    tree:add(f.sa, tvb(at + 1, 1)):add(f.sa_ext, tvb(at + 1, 1))
    local is_request, fc, fn = add_fc(tree, tvb, at + 2)
    local i = at + 3
    local last = at + count
    local dsap, ssap
    if bit.band(da, 0x80) ~= 0 and i < last then dsap = tvb(i, 1):uint(); tree:add(f.dsap, tvb(i, 1)); i = i + 1 end
    if bit.band(sa, 0x80) ~= 0 and i < last then ssap = tvb(i, 1):uint(); tree:add(f.ssap, tvb(i, 1)); i = i + 1 end
    -- The slave's SAP names the service: the DSAP of a request, the SSAP of a response.
    -- A response without SAPs answers the request before it.
    local sap = is_request and dsap or ssap
    local service
    if sap then
        service = services[sap] or string.format("SAP %d", sap)
    elseif is_request then
        service = bit.band(fc, 0x0F) == 0x09 and "FDL_Status" or
            ((bit.band(fc, 0x0C) == 0x0C and dsap == nil) and "Data_Exchange" or fn)
    else
        service = answered_service(pinfo) or (i < last and "Data_Exchange" or fn)
    end
    if is_request then remember_request(pinfo, service) end
    tree:add(f.service, tvb(at, count), service)
    local extra = add_service_data(tree, tvb, i, last - i, service, is_request)
    local kind = is_request and "request" or "response"
    if not is_request and bit.band(fc, 0x0F) ~= 0x08 and bit.band(fc, 0x0F) ~= 0x0A then kind = kind .. " " .. fn end
    return is_request, string.format("%d->%d %s %s%s", bit.band(sa, 0x7F), bit.band(da, 0x7F), service, kind, extra)
end

local function check_tail(tree, tvb, body_at, body_count, pinfo)
    local at = body_at + body_count
    local want = sum8(tvb, body_at, body_count)
    local got = tvb(at, 1):uint()
    local item = tree:add(f.fcs, tvb(at, 1))
    if want == got then
        tree:add(f.fcs_status, tvb(at, 1), "correct")
    else
        tree:add(f.fcs_status, tvb(at, 1), string.format("wrong (should be %02X)", want))
        item:add_proto_expert_info(e_fcs)
    end
    local ed = tree:add(f.ed, tvb(at + 1, 1))
    if tvb(at + 1, 1):uint() ~= ED then ed:add_proto_expert_info(e_ed) end
end

function dp.dissector(tvb, pinfo, root)
    local n = tvb:len()
    pinfo.cols.protocol = "Quorvel DP"
    local comment = comment_of()
    if n == 0 then
        root:add(dp, tvb()):add(f.note, tvb(0, 0), comment)
        pinfo.cols.info = "Comment: " .. comment
        pinfo.cols.src, pinfo.cols.dst = "", ""
        return 0
    end
    local tree = root:add(dp, tvb())
    local sd = tvb(0, 1):uint()
    local info, is_request
    local other  -- a token or request: from and to which station
    local length = n  -- of the telegram at the front

    if comment:sub(1, 8) == "dropped:" then
        tree:add(f.dropped, tvb()):add_proto_expert_info(e_dropped, "Dropped by the master: " .. comment:sub(10))
        info = string.format("Dropped %d byte(s): %s", n, comment:sub(10))
        is_request = false
    elseif n == 3 and sd == 0xFE and tvb(1, 1):uint() == 0xFF and tvb(2, 1):uint() == 0x01 then
        tree:add(f.start, tvb(0, 3)):append_text(" (written once each time the master starts)")
        info = "Start sequence FE FF 01"
        is_request = true
        length = 3
        remember_request(pinfo, nil)
    elseif sd == SC then
        tree:add(f.sd, tvb(0, 1))
        local service = answered_service(pinfo)
        if service then tree:add(f.service, tvb(0, 1), service) end
        info = "SC short acknowledgement" .. (service and (" of " .. service) or "")
        is_request = false
        length = 1
    else
        tree:add(f.sd, tvb(0, 1))
        local body_at, body_count
        if sd == SD1 then
            body_at, body_count = 1, 3
        elseif sd == SD3 then
            body_at, body_count = 1, 11
        elseif sd == SD2 and n >= 4 then
            local le = tvb(1, 1):uint()
            tree:add(f.le, tvb(1, 1))
            local ler = tree:add(f.ler, tvb(2, 1))
            if tvb(2, 1):uint() ~= le then ler:add_proto_expert_info(e_le) end
            tree:add(f.sd, tvb(3, 1))
            body_at, body_count = 4, le
        elseif sd == SD4 and n >= 3 then
            tree:add(f.da, tvb(1, 1))
            tree:add(f.sa, tvb(2, 1))
            other = { from = bit.band(tvb(2, 1):uint(), 0x7F), to = bit.band(tvb(1, 1):uint(), 0x7F) }
            info = string.format("SD4 token %d->%d", other.from, other.to)
            is_request = true
            length = 3
        else
            tree:add(f.du, tvb())
            info = "Unknown bytes"
        end
        if body_at then
            if body_count < 3 or n < body_at + body_count + 2 then
                tree:add_proto_expert_info(e_short)
                info = "Telegram cut short"
            else
                is_request, info = add_body(tree, tvb, body_at, body_count, pinfo)
                check_tail(tree, tvb, body_at, body_count, pinfo)
                length = body_at + body_count + 2
                if is_request then
                    other = { from = bit.band(tvb(body_at + 1, 1):uint(), 0x7F), to = bit.band(tvb(body_at, 1):uint(), 0x7F) }
                end
            end
        end
    end
    if length < n then
        tree:add(f.trailing, tvb(length, n - length)):add_proto_expert_info(e_trailing)
        info = info .. string.format(" [%d trailing byte(s)]", n - length)
    end

    local dir = direction_of(pinfo, is_request)
    -- A token or a request the master received is another master's: it
    -- shares the bus.
    local foreign = other and dir == "S->M"
    if foreign then info = info .. " (another master)" end
    tree:add(f.direction, tvb(0, 0), dir)
    tree:append_text(", " .. dir .. " " .. info)
    pinfo.cols.info = dir .. " " .. info
    if foreign then
        tree:add_proto_expert_info(e_other_master, string.format("Station %d is another master", other.from))
        pinfo.cols.src, pinfo.cols.dst = string.format("Master %d", other.from), string.format("Station %d", other.to)
    elseif dir == "M->S" then
        pinfo.cols.src, pinfo.cols.dst = "Master", "Slave"
    elseif dir == "S->M" then
        pinfo.cols.src, pinfo.cols.dst = "Slave", "Master"
    end
    return n
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, dp)
