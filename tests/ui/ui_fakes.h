#pragma once
// In-memory stand-ins for the window's views, so the dialog logic runs without a display and
// tests can see every box, mark, timer and dialog it touched.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog_view.h"
#include "ui/dir_tree_ctrl.h"

namespace cw {

class FakeDialogView : public DialogView {
 public:
  void SetText(int id, const std::string& text) override { texts[id] = text; }
  std::string GetText(int id) const override {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  void Show(int id, bool show) override { visible[id] = show; }
  void Enable(int id, bool enable) override { enabled[id] = enable; }
  void SetTitle(const std::string& text) override { title = text; }
  void SetProgressRange(int min, int max) override {
    rangeMin = min;
    rangeMax = max;
  }
  void SetProgressPos(int pos) override { progressPos = pos; }
  int StartTimer(int id, int periodMs) override {
    timerRequests.push_back({id, periodMs});
    runningTimers.push_back(nextTimer);
    return nextTimer++;
  }
  void KillTimer(int timerId) override {
    killedTimers.push_back(timerId);
    std::erase(runningTimers, timerId);
  }
  std::optional<std::string> ChooseFile(const std::string& title,
                                        const std::string& initialPath) override {
    fileDialogs.push_back({title, initialPath});
    if (fileChoices.empty()) return std::nullopt;
    std::optional<std::string> choice = fileChoices.front();
    fileChoices.pop_front();
    return choice;
  }
  void RunAdvancedSettings(AdvancedSettings& settings) override {
    ++advancedRuns;
    if (advanced) advanced(settings);
  }
  void RunHistory(Platform&, const std::string&) override {}
  void CloseWindow() override { ++closeRequests; }

  bool Shown(int id) const {
    auto it = visible.find(id);
    return it != visible.end() && it->second;
  }
  bool Enabled(int id) const {
    auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }

  std::map<int, std::string> texts;
  std::map<int, bool> visible;
  std::map<int, bool> enabled;
  std::string title;
  int rangeMin = 0, rangeMax = 100, progressPos = 0;
  int nextTimer = 7;
  std::vector<std::pair<int, int>> timerRequests;
  std::vector<int> runningTimers, killedTimers;
  std::deque<std::optional<std::string>> fileChoices;
  std::vector<std::pair<std::string, std::string>> fileDialogs;  // title, initial path
  std::function<void(AdvancedSettings&)> advanced;
  int advancedRuns = 0;
  int closeRequests = 0;
};

// A tree of labelled nodes; nullptr stands for the invisible root.
class MemoryTreeView : public TreeView {
 public:
  struct Node {
    std::string label;
    Node* parent = nullptr;
    bool placeholder = false;
    ItemIcons icons;
    std::string toolTip;
    std::vector<std::unique_ptr<Node>> children;
  };

  bool AttachImageList() override { return imagesAvailable; }
  bool LookUpIcons(const std::string&, bool isDrive, ItemIcons* icons) override {
    icons->normal = isDrive ? 0 : 1;
    icons->open = isDrive ? 0 : 2;
    return true;
  }
  Item InsertItemBefore(Item parent, Item before, const std::string& label,
                        const ItemIcons& icons, const std::string& toolTip) override {
    Node* node = Add(parent, static_cast<Node*>(before));
    node->label = label;
    node->icons = icons;
    node->toolTip = toolTip;
    return node;
  }
  std::vector<Item> Children(Item parent) const override {
    std::vector<Item> children;
    for (const auto& child : NodeOf(parent)->children) children.push_back(child.get());
    return children;
  }
  void DeleteItem(Item item) override {
    auto& siblings = static_cast<Node*>(item)->parent->children;
    std::erase_if(siblings, [&](const auto& child) { return child.get() == item; });
  }
  void InsertPlaceholder(Item parent) override { Add(parent)->placeholder = true; }
  void DeleteChildren(Item item) override { NodeOf(item)->children.clear(); }
  void DeleteAll() override { root_.children.clear(); }
  Item Parent(Item item) const override {
    Node* parent = static_cast<Node*>(item)->parent;
    return parent == &root_ ? nullptr : parent;
  }
  std::string Label(Item item) const override { return static_cast<Node*>(item)->label; }
  void SetBusy(bool busy) override { busyCalls.push_back(busy); }

  // The labels of an item's children ("" for a placeholder).
  std::vector<std::string> ChildLabels(Item item) const {
    std::vector<std::string> labels;
    for (const auto& child : NodeOf(item)->children) labels.push_back(child->label);
    return labels;
  }
  // The item with this label path ("E:", "E:\DATA"), or nullptr.
  Node* Find(const std::string& path) {
    Node* at = &root_;
    size_t start = 0;
    while (start <= path.size()) {
      const size_t end = std::min(path.find('\\', start), path.size());
      const std::string part = path.substr(start, end - start);
      Node* next = nullptr;
      for (auto& child : at->children)
        if (!child->placeholder && child->label == part) next = child.get();
      if (next == nullptr) return nullptr;
      at = next;
      start = end + 1;
    }
    return at == &root_ ? nullptr : at;
  }
  Item TopLevel(size_t i) const { return Child(nullptr, i); }
  Item Child(Item parent, size_t i) const {
    const Node* node = NodeOf(parent);
    return i < node->children.size() ? node->children[i].get() : nullptr;
  }
  bool HasPlaceholder(Item item) const {
    const Node* node = NodeOf(item);
    return node->children.size() == 1 && node->children[0]->placeholder;
  }

  bool imagesAvailable = true;
  std::vector<bool> busyCalls;

 private:
  Node* NodeOf(Item item) const { return item == nullptr ? &root_ : static_cast<Node*>(item); }
  Node* Add(Item parent, Node* before = nullptr) {
    Node* owner = NodeOf(parent);
    auto at = std::find_if(owner->children.begin(), owner->children.end(),
                           [&](const auto& child) { return child.get() == before; });
    at = owner->children.insert(at, std::make_unique<Node>());
    (*at)->parent = owner;
    return at->get();
  }
  mutable Node root_;
};

}  // namespace cw
