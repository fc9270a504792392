// The console summary: one labelled line per fact, the input and the menu
// bar indented below.
#include "peers/orbcore/ConsoleSummary.h"

#include <string_view>

#include "peers/orbcore/TaskInput.h"

namespace orbcore {

namespace {

void Line(std::ostream& out, std::string_view label, std::string_view value) {
  out << "  " << label << ':' << std::string(label.size() < 15 ? 15 - label.size() : 1, ' ') << value << '\n';
}

void PrintMenu(std::ostream& out, const std::vector<MenuEntry>& entries, int depth) {
  const std::string indent(static_cast<std::size_t>(4 + 2 * depth), ' ');
  for (const MenuEntry& entry : entries) {
    if (entry.IsSeparator()) {
      out << indent << "----\n";
      continue;
    }
    out << indent << entry.text;
    if (!entry.IsPopup()) out << "  [" << entry.id << ']';
    if ((entry.flags & MF_CHECKED) != 0) out << " (checked)";
    if ((entry.flags & MF_GRAYED) != 0) out << " (grayed)";
    out << '\n';
    if (entry.IsPopup()) PrintMenu(out, entry.popup, depth + 1);
  }
}

}  // namespace

void PrintConsoleSummary(const EngineView& view, std::ostream& out) {
  out << view.productName << " - burn engine (no window)\n";
  Line(out, "Version", view.version);
  if (!view.fullVersion.empty()) Line(out, "Full version", view.fullVersion);
  if (!view.edition.empty()) Line(out, "Edition", view.edition);
  Line(out, "Language", view.language);
  Line(out, "Text form", view.textForm == TextForm::Wide ? "wide (UTF-16)" : "ansi (system code page)");
  Line(out, "Task", std::to_string(view.taskCode) + ", " + TaskName(view.taskCode));
  Line(out, "Start mode", std::to_string(view.startMode) + ", " + StartModeName(view.startMode));
  Line(out, "Input", view.input.empty() ? "none" : std::to_string(view.input.size()) + " item(s)");
  for (const InputRow& row : view.input) {
    out << "    " << row.kind << ' ' << row.path;
    if (!row.target.empty()) out << " -> " << row.target;
    out << '\n';
  }
  Line(out, "Selected drive", view.drive ? *view.drive : "none");
  Line(out, "Help file", view.helpFile.empty() ? "none" : view.helpFile);
  out << "  Menu bar:\n";
  PrintMenu(out, view.menuBar, 0);
  out.flush();
}

}  // namespace orbcore
