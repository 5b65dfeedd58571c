// The page agent's replies as the C++ side decodes them, on arbitrary bytes:
// no crash, nothing read out of bounds, no unbounded nesting; and a text
// written by the request writer always reads back unchanged.
// Needs src/webpage/agent_protocol.cpp and Qt Core.
// fuzz-sources: webpage/agent_protocol.cpp
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "webpage/agent_protocol.h"

using quarvel::AgentReply;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString input =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const AgentReply reply = quarvel::DecodeAgentReply(QStringView(input));
  if (reply.kind == AgentReply::Kind::Reference && reply.id < 1) std::abort();
  if (reply.kind == AgentReply::Kind::Found && reply.id < 0) std::abort();
  if (reply.kind == AgentReply::Kind::Hello && reply.text.isEmpty()) std::abort();
  // A long text's length is one a string can have; its parts are asked for
  // by it.
  if (reply.kind == AgentReply::Kind::LongText &&
      (reply.id < 1 || !(reply.number >= 0 && reply.number < 2147483648.0) ||
       reply.number != static_cast<double>(static_cast<qint64>(reply.number))))
    std::abort();
  if (QString copy = input; quarvel::DecodeAgentReply(std::move(copy)).text != reply.text)
    std::abort();

  // The same bytes as UTF-16 units, lone surrogates included, through the
  // writer and back.
  QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
  for (size_t i = 0; i + 1 < size; i += 2)
    units[i / 2] = QChar(char16_t(data[i] | data[i + 1] << 8));
  QString json = QStringLiteral("{\"t\":\"s\",\"v\":");
  quarvel::AppendJsonString(json, units);
  json += QLatin1Char('}');
  const AgentReply echoed = quarvel::DecodeAgentReply(QStringView(json));
  if (echoed.kind != AgentReply::Kind::Text || echoed.text != units) std::abort();
  return 0;
}
