// The about box markup.
#include "shell/AboutBox.h"

#include "langpacks/Localize.h"

namespace {

constexpr const char16_t* kAboutMarkup =
    u"<about><p><b>%APPNAME%,version %APPVER%</b><br/>"
    u"Copyright &copy; 1998-2009 Korvane. All rights reserved.<br/>"
    u"www.korvane.example | shop.korvane.example</p></about>"
    u"<about><p>CD/DVD/BD recording components by Tessaline Optical Systems &amp; Partners<br/>"
    u"Tessaline Optical Systems, www.tessaline.example</p></about>";

}  // namespace

CString FillAboutPlaceholders(CString markup) {
  ReplacePlaceholder(markup, u"%DOCUMENTATION%", Localize(u"CAboutBox.Documentation", u"Documentation"));
  ReplacePlaceholder(markup, u"%GRAPHICS%", Localize(u"CAboutBox.Graphics", u"Graphics"));
  return markup;
}

CString BuildAboutMarkup() { return FillAboutPlaceholders(kAboutMarkup); }
