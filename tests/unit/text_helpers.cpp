// Shared test helpers.
#include "text_helpers.h"

#include "app/quillmate_dlg.h"

std::string Gbk(const std::string& utf8) {
  return sim::ToAnsi(utf8, 936);
}

void SimTest::SetUp() {
  sim::Reset();
  languageClickCount = 1;
}
