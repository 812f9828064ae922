// libFuzzer target for the companion's side of the conversation: the input
// is the byte stream a hostile peer sends. Point files are not opened (the
// reader has a target of its own) and images are kept small.
#include <cstddef>
#include <cstdint>
#include <string>

#include "handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelvane::Session session(std::int64_t{1} << 16);
  session.readPointFiles = false;
  zelvane::FrameReader reader;
  reader.Feed(reinterpret_cast<const char*>(data), size);
  std::uint8_t kind = 0;
  std::string payload, why;
  while (reader.Next(session.PayloadLimit(), kind, payload, why) == 1) (void)session.Handle(kind, payload);
  return 0;
}
