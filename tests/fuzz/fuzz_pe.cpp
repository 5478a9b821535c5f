// The PE reader and resource rebuild of `setupkit attach` over hostile stubs: whatever the
// bytes, reading must neither crash, hang nor allocate without bound and may only refuse with
// EPeImageError; an image it accepts must come out with the payload in place, every other
// resource's bytes unchanged, a readable tree and a right checksum.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "PeImage.h"

namespace {
using TKey = std::pair<std::u16string, std::u16string>;  // type/name, numbers as text

std::u16string Text(const TResourceId& id) {
  if (id.named) return u"$" + id.name;
  std::u16string t;
  for (char c : std::to_string(id.id)) t += static_cast<char16_t>(c);
  return t;
}

std::string Bytes(TStream& s, const TPeResource& r) {
  std::string b(r.size, '\0');
  s.SetPosition(static_cast<std::int64_t>(r.offset));
  if (r.size) s.ReadBuffer(&b[0], static_cast<int>(r.size));
  return b;
}

std::multimap<TKey, std::string> Others(TStream& s, const TPeImage& image) {
  std::multimap<TKey, std::string> out;
  for (const auto& r : image.Resources()) {
    TKey key{Text(r.type), Text(r.name) + u"/" + Text(TResourceId::Number(r.language))};
    if (!(r.type == TResourceId::Named("DAT") && r.name == TResourceId::Named("BRENLOW")))
      out.emplace(key, Bytes(s, r));
  }
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream stub(std::string(reinterpret_cast<const char*>(data), size));
  TMemoryStream payload(std::string("payload archive bytes"));
  TMemoryStream out;
  std::multimap<TKey, std::string> before;
  try {
    TPeImage image(stub);
    before = Others(stub, image);
    image.SetResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"), payload,
                      static_cast<std::uint32_t>(payload.Size()));
    image.Write(out);
  } catch (const EPeImageError&) {
    return 0;  // refused: the expected outcome for most inputs
  }
  TMemoryStream rebuilt(out.DataString());
  TPeImage again(rebuilt);  // an accepted image must come out readable: any exception aborts
  if (Others(rebuilt, again) != before) std::abort();
  int payloads = 0;
  for (const auto& r : again.Resources())
    if (r.type == TResourceId::Named("DAT") && r.name == TResourceId::Named("BRENLOW")) {
      if (Bytes(rebuilt, r) != payload.DataString()) std::abort();
      ++payloads;
    }
  if (payloads != 1) std::abort();
  std::string bytes = out.DataString();
  std::size_t field = 0;  // the checksum field: e_lfanew + 24 + 64
  for (int i = 3; i >= 0; --i) field = field << 8 | static_cast<unsigned char>(bytes[0x3C + i]);
  field += 24 + 64;
  bytes.replace(field, 4, 4, '\0');
  TPeChecksum sum;
  sum.Add(bytes.data(), bytes.size());
  if (sum.Value() != again.StoredChecksum()) std::abort();
  return 0;
}
