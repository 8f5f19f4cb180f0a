#include "tools/client/MessageText.h"

#include <cstdio>

#include "tools/client/WireFormat.h"

namespace zq {
namespace {

using namespace wire;

TField Num(std::string name, uint64_t v) {
  return {std::move(name), std::to_string(v), false};
}

TField Text(std::string name, std::string_view v) {
  return {std::move(name), std::string(v), true};
}

// Fixed payload sizes of the binary client messages.
std::size_t FixedSize(uint32_t type) {
  switch (type) {
    case SetClientCode:
    case ClientUDPPort:
      return 2;
    case BEATACK:
      return 5;
    case KeyDown:
    case KeyUp:
      return 14;
    default:
      return 0;
  }
}

}  // namespace

std::string TMessageText::Line() const {
  std::string out = Type;
  for (const TField& f : Fields) {
    out += ' ';
    if (!f.Name.empty()) out += f.Name + "=";
    out += f.IsText ? QuoteText(f.Value) : f.Value;
  }
  return out;
}

const TField* TMessageText::Find(std::string_view name) const {
  for (const TField& f : Fields)
    if (f.Name == name) return &f;
  return nullptr;
}

std::string QuoteText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += c;
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out + "\"";
}

std::string NumberText(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Hex32Text(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string HexBytes(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

TMessageText ClientMessageText(uint32_t type, std::string_view p) {
  const char* name = TypeName(type, Direction::ToServer);
  if (!name) return {"Unknown", {{"type", Hex32Text(type), false}}};
  if (std::size_t need = FixedSize(type); p.size() < need)
    return {"Malformed",
            {{"type", Hex32Text(type), false},
             {"",
              std::string(name) + " needs " + std::to_string(need) + " payload bytes, got " +
                  std::to_string(p.size()),
              false}}};
  TMessageText m{name, {}};
  auto& f = m.Fields;
  switch (type) {
    case SetClientCode:
      f.push_back(Num("ClientCode", GetU16(p, 0)));
      if (p.size() > 2) f.push_back(Text("Rest", p.substr(2)));
      break;
    case ClientSay:
      f.push_back(Text("Text", p));
      break;
    case LoginName:
      f.push_back(Text("Name", p));
      break;
    case LoginPassword:
      f.push_back(Text("Password", p));
      break;
    case ClientUDPPort:
      f.push_back(Num("Port", GetU16(p, 0)));
      break;
    case BEATACK:
      f.push_back(Num("Seq", GetU8(p, 0)));
      f.push_back(Num("Tick", GetU32(p, 1)));
      break;
    case KeyDown:
    case KeyUp:
      f.push_back(Num("Key", GetU8(p, 1)));
      f.push_back(Num("TargetX", GetU16(p, 2)));
      f.push_back(Num("TargetY", GetU16(p, 4)));
      f.push_back(Num("ClientValue", GetU32(p, 10)));
      break;
    default:  // QueryIdentity, ClientGone, StartGame: the payload is not read
      if (!p.empty()) f.push_back(Text("Payload", p));
      break;
  }
  return m;
}

}  // namespace zq
