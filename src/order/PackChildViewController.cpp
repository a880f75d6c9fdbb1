#include "order/PackChildViewController.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/AlertViewQX.h"
#include "app/DataCenter.h"
#include "link/OKFolioObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "order/OrderParsing.h"
#include "order/PackChildCell.h"
#include "order/PackChildViewObj.h"
#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextLayout.h"
#include "platform/gfx/Transform.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/Switch.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

namespace {

std::string formatted(const char* format, int value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Counts from the room server: a negative one counts as none, and a count worked out from them
// stops at the largest a 32-bit quantity holds instead of wrapping.
int64_t countOf(const Text& text) { return std::max<int32_t>(intValueOf(text), 0); }
int32_t saturated(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX)); }

std::string quantityText(int64_t value) { return formatted("%d", saturated(value)); }

// The width of a text in a font, measured as the system measures one line within the screen.
double measuredWidth(const std::string& text, std::shared_ptr<const gfx::Font> font) {
  gfx::TextLayout layout(text, gfx::TextStyle::withFont(std::move(font)));
  const double screenWidth = ui::Screen::main().bounds().size.width;
  return static_cast<float>(
      layout.boundingSize(gfx::Size{screenWidth, 40}, gfx::TextUsesLineFragmentOrigin | gfx::TextTruncatesLastVisibleLine)
          .width);
}

void showAlert(const std::string& message) {
  if (auto alert = setMsg(message)) alert->show();
}

}  // namespace

PackChildViewController::PackChildViewController() {
  shouldAutorotateToInterfaceOrientation = [](ui::InterfaceOrientation orientation) {
    return orientation == ui::InterfaceOrientation::LandscapeRight ||
           orientation == ui::InterfaceOrientation::LandscapeLeft;
  };
}

PackChildViewController::~PackChildViewController() {
  if (m_prckChildTableView) {
    m_prckChildTableView->setDataSource(nullptr);
    m_prckChildTableView->setDelegate(nullptr);
  }
}

void PackChildViewController::setSelectedFoods(std::shared_ptr<FolioList> lines) {
  m_selectedFoods = lines ? std::move(lines) : std::make_shared<FolioList>();
  m_pricedLines.clear();
  for (const auto& line : *m_selectedFoods) m_pricedLines.push_back(line.get());
}

void PackChildViewController::setParameters(const PackChildViewObj& parameters) {
  setFood(parameters.food());
  setSelectedFoods(parameters.selectedFoods());
  setSGroupID(parameters.sGroupID());
  setPackArray(parameters.packArray());
}

std::shared_ptr<ui::Button> PackChildViewController::addButton(ui::View& parent, const gfx::Rect& frame,
                                                               const std::string& title,
                                                               void (PackChildViewController::*action)()) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  button->setTitle(title);
  button->setTitleColor(gfx::Color::whiteColor());
  button->titleLabel()->setFont(gfx::Font::boldSystemFont(20));
  button->layer()->setCornerRadius(8);
  button->addTarget(this, [weak = weak_from_this(), action](ui::Control&, const ui::Event*) {
    if (auto alive = std::static_pointer_cast<PackChildViewController>(weak.lock())) ((*alive).*action)();
  }, ui::ControlEventTouchUpInside);
  parent.addSubview(button);
  return button;
}

void PackChildViewController::loadView() {
  auto root = std::make_shared<ui::View>(gfx::Rect{{0, 0}, ViewSize});
  root->setBackgroundColor(gfx::Color::rgba(0.06, 0.07, 0.1));
  setView(root);

  m_logo = ui::ImageView::create(gfx::Rect{16, 14, 25, 24});
  m_logo->setImage(gfx::Image::named("RecommondLogo"));
  root->addSubview(m_logo);
  m_lblTitle = EffectLabel::create(gfx::Rect{50, 8, 400, 36});
  m_lblTitle->setFont(gfx::Font::boldSystemFont(20));
  m_lblTitle->setTextColor(gfx::Color::whiteColor());
  m_lblTitle->setTextAlignment(gfx::TextAlignment::Center);
  root->addSubview(m_lblTitle);
  m_logo2 = ui::ImageView::create(gfx::Rect{470, 20, 14, 14});
  root->addSubview(m_logo2);

  m_tableViewBGImageView = ui::ImageView::create(gfx::Rect{10, 52, 480, 472});
  m_tableViewBGImageView->setBackgroundColor(gfx::Color::rgba(0.1, 0.11, 0.15));
  m_tableViewBGImageView->layer()->setCornerRadius(8);
  root->addSubview(m_tableViewBGImageView);

  m_prckChildTableView = ui::TableView::create(gfx::Rect{15, 56, 470, 464});
  m_prckChildTableView->setRowHeight(PackChildCell::RowHeight);
  m_prckChildTableView->setSeparatorColor(gfx::Color::rgba(0.25, 0.27, 0.33));
  m_prckChildTableView->registerClass(PackChildCell::Identifier, [] { return std::make_shared<PackChildCell>(); });
  m_prckChildTableView->setDataSource(this);
  m_prckChildTableView->setDelegate(this);
  root->addSubview(m_prckChildTableView);

  m_backBtn = addButton(*root, gfx::Rect{60, 538, 160, 46}, "取消", &PackChildViewController::btnCancel);
  m_backBtn->setBackgroundColor(gfx::Color::rgba(0.3, 0.32, 0.38));
  m_suerBtn = addButton(*root, gfx::Rect{280, 538, 160, 46}, "确定", &PackChildViewController::btnOK);
  m_suerBtn->setBackgroundColor(gfx::Color::rgba(0.85, 0.55, 0.1));
}

bool PackChildViewController::freeItemMode() const {
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  return basket && textIs(basket->HasMultFreeItems(), "1");
}

int64_t PackChildViewController::capacity(const OKPackChild& group) const {
  return saturated(m_foodCount * countOf(group.SetSumCount()));
}

int64_t PackChildViewController::fixedCount(const OKPackChildFood& dish) const {
  return saturated(m_foodCount * countOf(dish.Count()));
}

void PackChildViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  if (m_food) m_lblTitle->setText(textOf(m_food->NameChs()));
  if (freeItemMode()) {
    auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
    m_foodCount = countOf(basket->MultFreeCount());
  } else if (!m_selectedFoods->empty() && m_selectedFoods->front()) {
    m_foodCount = countOf(m_selectedFoods->front()->Quantity());
  }
  m_prckChildTableView->setBackgroundView(nullptr);
  m_prckChildTableView->setBackgroundColor(gfx::Color::clear());
  m_prckChildTableView->setOpaque(false);
  restore();
  autoFill();
  m_prckChildTableView->reloadData();
}

void PackChildViewController::viewDidUnload() {
  m_prckChildTableView.reset();
  m_logo.reset();
  m_logo2.reset();
}

const std::vector<std::shared_ptr<OKPackChildFood>>* PackChildViewController::dishesOf(const OKPackChild& group) const {
  auto found = m_dict.find(textOf(group.SetID()));
  return found == m_dict.end() ? nullptr : &found->second;
}

std::shared_ptr<OKFolioObject> PackChildViewController::chosenLine(const OKPackChildFood& dish) {
  if (auto line = getSelectedFood(dish.FoodNo())) return line;
  auto line = createFolioObj(nullptr, dish);
  m_selectedFoods->push_back(line);
  return line;
}

void PackChildViewController::removeFromSelection(const std::shared_ptr<OKFolioObject>& line) {
  std::erase(*m_selectedFoods, line);
}

void PackChildViewController::restore() {
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  if (!basket || basket->oldChoiceArray().empty()) return;
  for (const auto& group : m_packArray) {
    if (!group) continue;
    const auto* dishes = dishesOf(*group);
    if (!dishes) continue;
    for (const auto& dish : *dishes) {
      if (!dish) continue;
      auto old = inOldPack(dish->FoodNo());
      if (!old) continue;
      auto line = chosenLine(*dish);
      int64_t quantity = countOf(old->Quantity());
      if (textIs(group->CountMode(), "1")) quantity = fixedCount(*dish);
      group->setSelectedCount(saturated(int64_t{group->SelectedCount()} + quantity));
      dish->setSelectedCount(saturated(quantity));
      line->setQuantity(quantityText(quantity));
      group->setIsSelected(true);
    }
  }
}

void PackChildViewController::autoFill() {
  for (const auto& group : m_packArray) {
    if (!group || textIs(group->NotShare(), "1") || textIs(group->CountMode(), "1")) continue;
    const auto* dishes = dishesOf(*group);
    if (!dishes || dishes->size() != 1 || !dishes->front()) continue;
    const auto& dish = dishes->front();
    auto line = chosenLine(*dish);
    group->setSelectedCount(saturated(capacity(*group)));
    dish->setSelectedCount(group->SelectedCount());
    line->setQuantity(quantityText(group->SelectedCount()));
    group->setIsSelected(true);
  }
}

std::shared_ptr<OKFolioObject> PackChildViewController::inOldPack(const Text& foodNo) const {
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  if (!basket) return nullptr;
  // The ordered line of the dish itself is among the old lines too; it was not chosen here.
  for (const auto& line : basket->oldChoiceArray())
    if (line && line->FoodNo() == foodNo && (textIs(line->IfPackChild(), "1") || textIs(line->AutoFreed(), "1")))
      return line;
  return nullptr;
}

std::shared_ptr<OKFolioObject> PackChildViewController::getSelectedFood(const Text& foodNo) const {
  for (const auto& line : *m_selectedFoods) {
    if (!line || line->FoodNo() != foodNo) continue;
    if (std::find(m_pricedLines.begin(), m_pricedLines.end(), line.get()) != m_pricedLines.end()) continue;
    return line;
  }
  return nullptr;
}

std::shared_ptr<OKFolioObject> PackChildViewController::createFolioObj(std::shared_ptr<OKFolioObject> line,
                                                                       const OKPackChildFood& dish) const {
  if (!line) {
    line = std::make_shared<OKFolioObject>();
    line->setFoodNo(dish.FoodNo());
    line->setFoodName(dish.FoodName_Cha());
    line->setPrice("0");
    line->setFlag("N");
    line->setQuantity("0");
    line->setCanDiscount("0");
    line->setMonad(dish.Monad());
    line->setIfLowLimitPrice("1");
    line->setPrinterNo(textOf(dish.PrintType()) + textOf(DataCenter::sharedInstance().printId()));
    line->setOverTimes(dish.OverTimes());
    line->setIfPack("1");
    line->setIfPackChild("1");
    line->setAutoFreed("0");
    line->setAutoFreeCount("0");
    line->setParentFoodNo(m_food ? m_food->No() : Text(""));
    line->setCanReward("0");
    line->setAutoFreeSetIDOfMutilToOne("");
    line->setLimitDisRate("1");
    line->setSendMobileMsgWhenFree("0");
    line->setNote("套餐内项目");
    line->setGroupID(m_sGroupID);
  }
  if (freeItemMode()) {
    auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
    line->setPrice(dish.Price());
    line->setFlag("F");
    line->setIfPack("0");
    line->setIfPackChild("0");
    line->setAutoFreed("1");
    line->setNote("消费赠送");
    // The count as the reply gave it, unless it is none a line can carry.
    const Text& count = basket->MultFreeCount();
    line->setAutoFreeCount(integerValueOf(count) == countOf(count) ? count : Text(quantityText(countOf(count))));
    line->setParentFoodNo("");
  }
  return line;
}

bool PackChildViewController::NotShareIsSelected() const {
  return std::any_of(m_packArray.begin(), m_packArray.end(), [](const auto& group) {
    return group && textIs(group->NotShare(), "1") && group->isSelected();
  });
}

int PackChildViewController::rowsInSection(int section) const {
  if (section < 0 || static_cast<size_t>(section) >= m_packArray.size() || !m_packArray[section]) return 0;
  const OKPackChild& group = *m_packArray[static_cast<size_t>(section)];
  const auto* dishes = dishesOf(group);
  if (!group.Flag() || !dishes || dishes->empty()) return 0;
  return static_cast<int>(dishes->size());
}

std::optional<PackChildViewController::Row> PackChildViewController::rowAt(const ui::IndexPath& indexPath) const {
  if (indexPath.section < 0 || static_cast<size_t>(indexPath.section) >= m_packArray.size()) return std::nullopt;
  const auto& group = m_packArray[static_cast<size_t>(indexPath.section)];
  if (!group) return std::nullopt;
  const auto* dishes = dishesOf(*group);
  if (!dishes || indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= dishes->size()) return std::nullopt;
  const auto& dish = (*dishes)[static_cast<size_t>(indexPath.row)];
  if (!dish) return std::nullopt;
  return Row{group, dish};
}

std::optional<PackChildViewController::Row> PackChildViewController::rowOf(const ui::View& control) const {
  const auto indexPath = GetIndexPath(control);
  return indexPath ? rowAt(*indexPath) : std::nullopt;
}

std::optional<ui::IndexPath> PackChildViewController::GetIndexPath(const ui::View& control) const {
  if (!m_prckChildTableView) return std::nullopt;
  for (const ui::View* view = &control; view; view = view->superview()) {
    if (const auto* cell = dynamic_cast<const ui::TableViewCell*>(view)) return m_prckChildTableView->indexPathForCell(*cell);
  }
  return std::nullopt;
}

void PackChildViewController::btnCancel() {
  // The delegate closes this popover: nothing of it is touched afterwards.
  if (auto* delegate = m_delegate.get()) delegate->popViewControllerDidConfirm();
}

void PackChildViewController::btnOK() {
  const bool hasAlternatives = std::any_of(m_packArray.begin(), m_packArray.end(),
                                           [](const auto& g) { return g && textIs(g->NotShare(), "1"); });
  const bool alternativeTaken = std::any_of(m_packArray.begin(), m_packArray.end(), [](const auto& g) {
    return g && textIs(g->NotShare(), "1") && g->SelectedCount() >= 1;
  });
  if (hasAlternatives && !alternativeTaken) {
    showAlert("套餐所选项目未到要求!");
    return;
  }
  for (const auto& group : m_packArray) {
    if (!group) continue;
    if (textIs(group->NotShare(), "1") && group->SelectedCount() < 1) continue;
    const bool fails = textIs(group->CountMode(), "1") ? group->SelectedCount() < 1
                                                       : group->SelectedCount() < capacity(*group);
    if (fails) {
      showAlert("套餐内" + textOf(group->SetItemName()) + "所选项目未到要求!");
      return;
    }
  }
  if (auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood()) {
    FolioList& lines = basket->foodSetArray();
    const FolioList& old = basket->oldChoiceArray();
    std::erase_if(lines, [&old](const auto& line) { return std::find(old.begin(), old.end(), line) != old.end(); });
    for (const auto& line : *m_selectedFoods)
      if (line) lines.push_back(line);
  }
  btnCancel();
}

void PackChildViewController::headerClicked(ui::Control& sender) {
  const int section = sender.tag();
  if (section < 0 || static_cast<size_t>(section) >= m_packArray.size() || !m_packArray[section]) return;
  auto& group = *m_packArray[static_cast<size_t>(section)];
  group.setFlag(!group.Flag());
  m_prckChildTableView->reloadSections(ui::IndexSet{section}, ui::TableViewRowAnimation::Right);
}

void PackChildViewController::switchAction(ui::Control& sender) {
  auto* control = dynamic_cast<ui::Switch*>(&sender);
  const auto row = rowOf(sender);
  if (!control || !row) return;
  OKPackChild& group = *row->group;
  OKPackChildFood& dish = *row->dish;
  if (control->isOn()) {
    // A line already in the selection is taken as it is, never listed twice.
    auto line = chosenLine(dish);
    if (textIs(group.CountMode(), "1")) {
      line->setQuantity(quantityText(fixedCount(dish)));
      group.setSelectedCount(saturated(fixedCount(dish)));
      dish.setSelectedCount(saturated(fixedCount(dish)));
    } else {
      dish.setSelectedCount(
          saturated(int64_t{dish.SelectedCount()} - int64_t{group.SelectedCount()} + capacity(group)));
      group.setSelectedCount(saturated(capacity(group)));
      line->setQuantity(quantityText(dish.SelectedCount()));
    }
    group.setIsSelected(true);
  } else {
    group.setSelectedCount(saturated(int64_t{group.SelectedCount()} - int64_t{dish.SelectedCount()}));
    dish.setSelectedCount(0);
    if (auto line = getSelectedFood(dish.FoodNo())) {
      line->setQuantity("0");
      group.setIsSelected(false);
      removeFromSelection(line);
    }
  }
  m_prckChildTableView->reloadData();
}

void PackChildViewController::stepperAction(ui::Control& sender) {
  auto* stepper = dynamic_cast<ui::Stepper*>(&sender);
  const auto row = rowOf(sender);
  if (!stepper || !row) return;
  OKPackChild& group = *row->group;
  OKPackChildFood& dish = *row->dish;
  KT_LOG("sender Value %f", stepper->value());
  const bool countMode = textIs(group.CountMode(), "1");
  if (stepper->value() > dish.SelectedCount()) {
    auto line = chosenLine(dish);
    const int64_t quantity = countOf(line->Quantity());
    if (countMode) {
      line->setQuantity(quantityText(fixedCount(dish)));
      group.setSelectedCount(saturated(fixedCount(dish)));
      dish.setSelectedCount(saturated(fixedCount(dish)));
    } else {
      line->setQuantity(quantityText(quantity + 1));
      group.setSelectedCount(saturated(int64_t{group.SelectedCount()} + 1));
      dish.setSelectedCount(saturated(int64_t{dish.SelectedCount()} + 1));
    }
    group.setIsSelected(true);
  } else {
    if (countMode) {
      group.setSelectedCount(0);
      dish.setSelectedCount(0);
    } else {
      group.setSelectedCount(saturated(int64_t{group.SelectedCount()} - 1));
      dish.setSelectedCount(saturated(int64_t{dish.SelectedCount()} - 1));
    }
    if (auto line = getSelectedFood(dish.FoodNo())) {
      const int64_t quantity = countOf(line->Quantity());
      line->setQuantity(countMode ? std::string("0") : quantityText(quantity - 1));
      if (intValueOf(line->Quantity()) == 0) {
        group.setIsSelected(false);
        removeFromSelection(line);
      }
    }
  }
  m_prckChildTableView->reloadData();
}

int PackChildViewController::numberOfSectionsInTableView(ui::TableView&) { return static_cast<int>(m_packArray.size()); }

int PackChildViewController::numberOfRowsInSection(ui::TableView&, int section) { return rowsInSection(section); }

std::shared_ptr<ui::TableViewCell> PackChildViewController::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                                  const ui::IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<PackChildCell>(tableView.dequeueReusableCellWithIdentifier(PackChildCell::Identifier));
  if (!cell) cell = std::make_shared<PackChildCell>();
  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  const auto row = rowAt(indexPath);
  if (!row) return cell;
  const OKPackChild& group = *row->group;
  const OKPackChildFood& dish = *row->dish;
  cell->lblFoodName()->setText(textOf(dish.FoodName_Cha()));
  cell->lblSelectCount()->setText(formatted("%d", dish.SelectedCount()));
  cell->lblFoodNo()->setText(textOf(dish.FoodNo()));

  const auto& stepper = cell->stepper();
  const auto& onOff = cell->switch_all();
  if (textIs(group.CountMode(), "1")) {
    stepper->setMaximumValue(static_cast<double>(fixedCount(dish)));
  } else {
    const float maximum = static_cast<float>(capacity(group)) + static_cast<float>(dish.SelectedCount()) -
                          static_cast<float>(group.SelectedCount());
    stepper->setMaximumValue(maximum);
  }
  if (dish.SelectedCount() >= 1) {
    onOff->setOn(true);
    onOff->setHidden(false);
    stepper->setValue(dish.SelectedCount());
  } else {
    onOff->setOn(false);
    const bool locked = (textIs(group.CountMode(), "1") && group.isSelected()) ||
                        (!textIs(group.CountMode(), "1") && group.SelectedCount() >= capacity(group)) ||
                        (NotShareIsSelected() && textIs(group.NotShare(), "1") && !group.isSelected());
    if (locked) {
      stepper->setMaximumValue(dish.SelectedCount());
      stepper->setValue(dish.SelectedCount());
      onOff->setHidden(true);
    } else {
      stepper->setValue(dish.SelectedCount());
      onOff->setHidden(false);
    }
  }
  stepper->removeTarget(this);
  onOff->removeTarget(this);
  auto weak = weak_from_this();
  stepper->addTarget(this, [weak](ui::Control& sender, const ui::Event*) {
    if (auto alive = std::static_pointer_cast<PackChildViewController>(weak.lock())) alive->stepperAction(sender);
  }, ui::ControlEventValueChanged);
  onOff->addTarget(this, [weak](ui::Control& sender, const ui::Event*) {
    if (auto alive = std::static_pointer_cast<PackChildViewController>(weak.lock())) alive->switchAction(sender);
  }, ui::ControlEventValueChanged);
  return cell;
}

std::optional<std::string> PackChildViewController::titleForHeader(int section) const {
  if (section < 0 || static_cast<size_t>(section) >= m_packArray.size() || !m_packArray[section]) return std::nullopt;
  return textOf(m_packArray[static_cast<size_t>(section)]->SetItemName());
}

std::string PackChildViewController::headerTitle(const OKPackChild& group) const {
  const std::string name = textOf(group.SetItemName());
  const std::string prefix = textIs(group.NotShare(), "1") ? "(多选一)" : "";
  if (textIs(group.CountMode(), "1"))
    return prefix + name + "|子项单计|已选数量(" + formatted("%d", group.SelectedCount()) + ")";
  return prefix + name + "|累计可选数量(" + quantityText(capacity(group)) + ")|已选数量(" +
         formatted("%d", group.SelectedCount()) + ")";
}

double PackChildViewController::headerTitleWidth(const std::string& name) {
  double width = measuredWidth(name, gfx::Font::systemFont(16));
  // Measured again in smaller bold fonts while too wide, down to the smallest size.
  for (int size = 12; width > 300 && size >= SmallestTitleFontSize; size -= 2)
    width = measuredWidth(name, gfx::Font::boldSystemFont(size));
  return width + 300;
}

std::shared_ptr<ui::View> PackChildViewController::viewForHeaderInSection(ui::TableView& tableView, int section) {
  if (section < 0 || static_cast<size_t>(section) >= m_packArray.size() || !m_packArray[section]) return nullptr;
  const OKPackChild& group = *m_packArray[static_cast<size_t>(section)];
  auto header = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{0, 0, tableView.bounds().width(), HeaderHeight});
  header->setTag(section);
  header->setBackgroundImage(gfx::Image::named("SetMeal-05"), ui::ControlStateNormal);
  header->addTarget(this, [weak = weak_from_this()](ui::Control& sender, const ui::Event*) {
    if (auto alive = std::static_pointer_cast<PackChildViewController>(weak.lock())) alive->headerClicked(sender);
  }, ui::ControlEventTouchUpInside);

  auto arrow = ui::ImageView::create(gfx::Rect{10, 10, 20, 20});
  arrow->setImage(gfx::Image::named(group.Flag() ? "SetMeal-03.png" : "SetMeal-04.png"));
  arrow->setTransform(gfx::AffineTransform::rotation(group.Flag() ? 1.58 : -1.58));
  header->addSubview(arrow);

  auto title = EffectLabel::create(gfx::Rect{50, 0, headerTitleWidth(textOf(group.SetItemName())), 40});
  title->setBackgroundColor(gfx::Color::clear());
  title->setTextColor(gfx::Color::whiteColor());
  title->setText(headerTitle(group));
  header->addSubview(title);
  return header;
}

std::optional<double> PackChildViewController::heightForHeaderInSection(ui::TableView&, int) { return HeaderHeight; }

}  // namespace kt
