#include "presets/option_code.h"

std::string EncodeOptionCode(const TOptionIndexes& AIndexes) {
  std::string code;
  for (TOptionList list : kOptionCodeOrder) {
    int index = AIndexes[list];
    if (index < 10) code += '0';
    code += std::to_string(index);
  }
  return code;
}

std::optional<TOptionIndexes> DecodeOptionCode(std::string_view ACode) {
  if (ACode.size() != 2 * kOptionListCount) return std::nullopt;
  for (char c : ACode)
    if (c < '0' || c > '9') return std::nullopt;
  TOptionIndexes indexes{};
  for (size_t pair = 0; pair < kOptionCodeOrder.size(); ++pair)
    indexes[kOptionCodeOrder[pair]] = (ACode[2 * pair] - '0') * 10 + (ACode[2 * pair + 1] - '0');
  return indexes;
}

bool SetOptionCodePair(std::string& ACode, TOptionList AList, int AIndex) {
  auto indexes = DecodeOptionCode(ACode);
  if (!indexes || AList < 0 || AList >= kOptionListCount) return false;
  (*indexes)[AList] = AIndex;
  ACode = EncodeOptionCode(*indexes);
  return true;
}

std::optional<TOptionIndexes> DefaultOptionIndexes(int ACategory, int AFormat) {
  const TFormat* format = FindFormat(ACategory, AFormat);
  if (!format) return std::nullopt;
  TOptionIndexes indexes{};
  for (int list = 0; list < kOptionListCount; ++list)
    indexes[list] = format->Options[list].DefaultIndex;
  return indexes;
}

bool OptionIndexesFit(int ACategory, int AFormat, const TOptionIndexes& AIndexes) {
  const TFormat* format = FindFormat(ACategory, AFormat);
  if (!format) return false;
  for (int list = 0; list < kOptionListCount; ++list) {
    int count = static_cast<int>(ItemListItems(format->Options[list].List).size());
    if (AIndexes[list] < 0 || AIndexes[list] >= count) return false;
  }
  return true;
}
