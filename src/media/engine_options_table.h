// The option table of the engine's option language: every name ParseOption knows, with its
// handler. Names not in the table go to the library options (SetDefaultOption).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "media/engine.h"

// One call of a handler: the engine, its option state, the option's name and value.
struct TOptionCall {
  TCustomFFmpeg& engine;
  TEngineOptions& o;
  const std::string& name;
  const std::string& value;

  void SetTotalOutputDuration(int64_t ADuration) { engine.total_output_duration_ = ADuration; }
  // Information line "Do nothing: option - <name>".
  void LogNoOp() const;
};

struct TOptionDef {
  const char* Name;
  void (*Handler)(TOptionCall& ACall);
};

// The table, each name once.
std::span<const TOptionDef> OptionTable();
// The entry of AName (compared exactly), or nullptr.
const TOptionDef* FindOption(std::string_view AName);
