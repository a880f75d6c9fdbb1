#include "order/PopViewController.h"

#include <algorithm>
#include <cstdio>

#include "app/DataCenter.h"
#include "link/OKFolioObject.h"
#include "link/OKPackChild.h"
#include "link/RoomRequests.h"
#include "order/FoodAddInfoCell.h"
#include "order/OrderParsing.h"
#include "order/PackChildViewObj.h"
#include "platform/core/Log.h"
#include "platform/core/Value.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

namespace {

// The pad: three keys a row, backspace and OK ("确定") beside the 0 on the last row.
constexpr double kKeyWidth = 86;
constexpr double kKeyHeight = 48;
constexpr double kKeyGap = 8;
constexpr double kPadLeft = 18;
constexpr double kPadTop = 112;
constexpr int kPadLayout[4][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {PopViewController::BackspaceTag, 0,
                                                                    PopViewController::OkTag}};

gfx::Color keyColor(int tag) {
  if (tag == PopViewController::OkTag) return gfx::Color::rgba(0.85, 0.55, 0.1);
  if (tag == PopViewController::BackspaceTag) return gfx::Color::rgba(0.3, 0.32, 0.38);
  return gfx::Color::rgba(0.17, 0.19, 0.25);
}

std::string keyTitle(int tag) {
  if (tag == PopViewController::OkTag) return "确定";
  if (tag == PopViewController::BackspaceTag) return "←";
  return std::to_string(tag);
}

bool contains(const FolioList& lines, const OKFolioObject* line) {
  return std::any_of(lines.begin(), lines.end(), [line](const auto& l) { return l.get() == line; });
}

}  // namespace

PopViewController::PopViewController() {
  shouldAutorotateToInterfaceOrientation = [](ui::InterfaceOrientation orientation) {
    return orientation == ui::InterfaceOrientation::LandscapeRight ||
           orientation == ui::InterfaceOrientation::LandscapeLeft;
  };
  socketDataHandleDidAddInfoOfFood = [this](std::vector<std::string> options) { didAddInfoOfFood(std::move(options)); };
  socketDataHandleDidSelectFood = [this](FolioLines lines) { didSelectFood(std::move(lines)); };
  socketDataHandleDidPackChild = [this](std::optional<PackChildFoodMap> dict, int64_t count,
                                        std::optional<PackChildList> groups) {
    didPackChild(std::move(dict), count, std::move(groups));
  };
  socketDataHandleDidConfirmInputAmount = [this] { didConfirmInputAmount(); };
}

PopViewController::~PopViewController() {
  if (m_addInfoTableView) {
    m_addInfoTableView->setDataSource(nullptr);
    m_addInfoTableView->setDelegate(nullptr);
  }
}

void PopViewController::loadView() {
  auto root = std::make_shared<ui::View>(gfx::Rect{{0, 0}, ViewSize});
  root->setBackgroundColor(gfx::Color::rgba(0.06, 0.07, 0.1));
  setView(root);

  m_lblTitle = EffectLabel::create(gfx::Rect{10, 12, 290, 36});
  m_lblTitle->setFont(gfx::Font::boldSystemFont(20));
  m_lblTitle->setTextColor(gfx::Color::whiteColor());
  m_lblTitle->setTextAlignment(gfx::TextAlignment::Center);
  root->addSubview(m_lblTitle);

  auto amountBox = std::make_shared<ui::View>(gfx::Rect{18, 56, 274, 46});
  amountBox->setBackgroundColor(gfx::Color::rgba(0.13, 0.15, 0.2));
  amountBox->layer()->setCornerRadius(6);
  root->addSubview(amountBox);
  m_amountLabel = EffectLabel::create(gfx::Rect{30, 56, 250, 46});
  m_amountLabel->setFont(gfx::Font::boldSystemFont(28));
  m_amountLabel->setTextColor(gfx::Color::rgba(1, 0.8, 0.3));
  m_amountLabel->setTextAlignment(gfx::TextAlignment::Right);
  root->addSubview(m_amountLabel);

  buildPad(*root);

  m_addInfoTableView = ui::TableView::create(gfx::Rect{10, 336, 290, 176});
  m_addInfoTableView->setBackgroundColor(gfx::Color::rgba(0.1, 0.11, 0.15));
  m_addInfoTableView->setSeparatorColor(gfx::Color::rgba(0.25, 0.27, 0.33));
  m_addInfoTableView->setRowHeight(FoodAddInfoCell::RowHeight);
  m_addInfoTableView->registerClass(FoodAddInfoCell::Identifier, [] { return std::make_shared<FoodAddInfoCell>(); });
  m_addInfoTableView->setDataSource(this);
  m_addInfoTableView->setDelegate(this);
  root->addSubview(m_addInfoTableView);
}

void PopViewController::buildPad(ui::View& root) {
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 3; ++column) {
      const int tag = kPadLayout[row][column];
      const gfx::Rect frame{kPadLeft + column * (kKeyWidth + kKeyGap), kPadTop + row * (kKeyHeight + kKeyGap),
                            kKeyWidth, kKeyHeight};
      auto key = ui::Button::create(ui::ButtonType::Custom, frame);
      key->setTag(tag);
      key->setBackgroundColor(keyColor(tag));
      key->layer()->setCornerRadius(6);
      key->setTitle(keyTitle(tag));
      key->setTitleColor(gfx::Color::whiteColor());
      key->titleLabel()->setFont(gfx::Font::boldSystemFont(22));
      key->addTarget(this, [weak = weak_from_this()](ui::Control& sender, const ui::Event*) {
        if (auto alive = std::static_pointer_cast<PopViewController>(weak.lock())) alive->onClickAction(sender);
      }, ui::ControlEventTouchUpInside);
      root.addSubview(key);
      m_padKeys.push_back(key);
    }
  }
}

std::shared_ptr<ui::Button> PopViewController::padKey(int tag) const {
  for (const auto& key : m_padKeys)
    if (key->tag() == tag) return key;
  return nullptr;
}

void PopViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  SocketDataHandle::sharedInstance().setDelegate(this);
  if (m_tempFoodObject) {
    m_lblTitle->setText(textOf(m_tempFoodObject->NameChs()));
    RoomRequests::send(RoomRequests::addInfoOfFood(m_tempFoodObject->AddInfoNo2()));
  }
  m_clerkListObservation = core::Observation(core::NotificationCenter::defaultCenter(), ClerkListNotification,
                                             nullptr, [this](const core::Notification& notification) {
                                               if (const auto* lines = static_cast<const FolioList*>(notification.object))
                                                 songHuaOrDianHuaInfo(*lines);
                                             });
}

void PopViewController::viewWillAppear(bool animated) {
  ui::ViewController::viewWillAppear(animated);
  m_amountLabel->setText("1");
  m_defaultCount = true;
}

void PopViewController::viewDidUnload() {
  m_amountLabel.reset();
  m_tempFoodObject.reset();
  m_lblTitle.reset();
  m_addInfoTableView.reset();
}

void PopViewController::didAddInfoOfFood(std::vector<std::string> options) {
  m_foodInfoArray = std::move(options);
  if (m_addInfoTableView) m_addInfoTableView->reloadData();
}

void PopViewController::ifDefaultCount() {
  if (!m_defaultCount) return;
  m_amountLabel->setText("");
  m_defaultCount = false;
}

void PopViewController::onClickAction(ui::Control& sender) {
  if (!m_amountLabel) return;
  const int tag = sender.tag();
  if (tag == BackspaceTag) {
    ifDefaultCount();
    std::string text = m_amountLabel->text();
    // The quantity holds digits only, so the last character is the last byte.
    if (!text.empty()) text.pop_back();
    m_amountLabel->setText(text);
    return;
  }
  if (tag == OkTag) {
    confirm();
    return;
  }
  if (tag < 0 || tag > 9) return;
  ifDefaultCount();
  const std::string text = m_amountLabel->text();
  if (text.size() > 1) return;
  m_amountLabel->setText(text + std::to_string(tag));
}

void PopViewController::confirm() {
  const int32_t quantity = intValueOf(m_amountLabel->text());
  if (quantity < 1) {
    ui::AlertView::create("提示信息", "请输入数量！", nullptr, std::string("确定"))->show();
    return;
  }
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  if (!basket || !m_tempFoodObject) {
    KT_LOG("no room bound or no dish: nothing to order");
    return;
  }
  const Text& dishNo = m_tempFoodObject->No();
  FolioList& lines = basket->foodSetArray();
  FolioList& old = basket->oldChoiceArray();
  old.clear();
  std::shared_ptr<OKFolioObject> merge;
  for (const auto& line : lines) {
    if (line && line->FoodNo() == dishNo && !textIs(line->IfPackChild(), "1") && !textIs(line->AutoFreed(), "1")) {
      merge = line;
      break;
    }
  }
  int32_t mergeQuantity = 0;
  if (merge) {
    mergeQuantity = intValueOf(merge->Quantity());
    old.push_back(merge);
    if (mergeQuantity >= 1) {
      for (const auto& line : lines)
        if (line && textIs(line->IfPackChild(), "1") && line->ParentFoodNo() == dishNo) old.push_back(line);
      for (const auto& line : lines)
        if (line && textIs(line->AutoFreed(), "1") && line->ParentFoodNo() == dishNo) old.push_back(line);
      // The free items chosen for the earlier order carry no parent but the pricing's group id:
      // they go with it too, so that ordering the dish again does not keep the old ones beside
      // the new ones.
      const std::string group = textOf(merge->GroupID());
      if (!group.empty()) {
        for (const auto& line : lines)
          if (line && textIs(line->AutoFreed(), "1") && textIs(line->Flag(), "F") && textOf(line->ParentFoodNo()).empty() &&
              textIs(line->GroupID(), group.c_str()) && !contains(old, line.get()))
            old.push_back(line);
      }
    }
  }
  SocketDataHandle& handle = SocketDataHandle::sharedInstance();
  handle.setAmount(static_cast<int64_t>(quantity) + mergeQuantity);
  if (textOf(m_addInfo).empty() && !m_foodInfoArray.empty()) m_addInfo = m_foodInfoArray.front();
  handle.setAddInfo(m_addInfo);
  RoomRequests::send(RoomRequests::selectFood(dishNo, handle.Amount()));
}

void PopViewController::didSelectFood(FolioLines lines) {
  m_tmpFoliosArray = std::make_shared<FolioList>(std::move(lines));
  if (!m_tempFoodObject) return;
  if (textIs(m_tempFoodObject->IfPack(), "1")) {
    RoomRequests::send(RoomRequests::packChild(m_tempFoodObject->No()));
    return;
  }
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  if (basket && textIs(basket->HasMultFreeItems(), "1")) {
    RoomRequests::send(RoomRequests::multFreeItems(basket->MultFreeItemsSetID()));
    return;
  }
  orderPricedLines();
}

void PopViewController::orderPricedLines() {
  if (auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood()) {
    FolioList& lines = basket->foodSetArray();
    const FolioList& old = basket->oldChoiceArray();
    std::erase_if(lines, [&old](const auto& line) { return contains(old, line.get()); });
    lines.insert(lines.end(), m_tmpFoliosArray->begin(), m_tmpFoliosArray->end());
  }
  postUpdateData(this);
  // The delegate may close this popover: nothing of it is touched afterwards.
  if (auto* delegate = m_delegate.get()) delegate->popViewControllerDidConfirm();
}

void PopViewController::didPackChild(std::optional<PackChildFoodMap> dict, int64_t packCount,
                                     std::optional<PackChildList> groups) {
  if (packCount == 0) {
    // No groups to choose from: the dish is ordered as it was priced.
    orderPricedLines();
    return;
  }
  if (!dict) return;
  m_packChildArray = groups.value_or(PackChildList{});
  if (auto* delegate = m_delegate.get()) delegate->popViewControllerToPackChildView(*dict, initPackChildObj());
}

std::shared_ptr<PackChildViewObj> PopViewController::initPackChildObj() const {
  auto object = std::make_shared<PackChildViewObj>();
  object->setFood(m_tempFoodObject);
  object->setSelectedFoods(m_tmpFoliosArray);
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  object->setSGroupID(basket ? basket->GroupID() : Text(""));
  object->setPackArray(m_packChildArray);
  return object;
}

void PopViewController::getWithDiandan(const std::optional<PackChildFoodMap>& dict, int64_t packCount) {
  if (packCount == 0) {
    postUpdateData(this);
    return;
  }
  if (!dict) return;
  if (auto* delegate = m_delegate.get()) delegate->popViewControllerToPackChildView2(*dict, initPackChildObj());
}

void PopViewController::appendToBasket(const FolioList& lines) {
  if (auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood())
    basket->foodSetArray().insert(basket->foodSetArray().end(), lines.begin(), lines.end());
  postUpdateData(this);
}

void PopViewController::didConfirmInputAmount() { appendToBasket(*m_tmpFoliosArray); }

void PopViewController::songHuaOrDianHuaInfo(const FolioList& lines) {
  m_tmpFoliosArray = std::make_shared<FolioList>(lines);
  appendToBasket(*m_tmpFoliosArray);
}

void PopViewController::postUpdateData(void* sender) {
  core::Value info;
  info.set(kBusCodeKey, core::Value(kBusCodeUpdateData));
  info.set(kBusDetailKey, core::Value(""));
  core::NotificationCenter::defaultCenter().post(kDataCenterNotification, sender, info);
}

int PopViewController::numberOfRowsInSection(ui::TableView&, int) { return static_cast<int>(m_foodInfoArray.size()); }

std::shared_ptr<ui::TableViewCell> PopViewController::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                            const ui::IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<FoodAddInfoCell>(
      tableView.dequeueReusableCellWithIdentifier(FoodAddInfoCell::Identifier));
  if (!cell) cell = std::make_shared<FoodAddInfoCell>();
  const bool checked = indexPath.row == m_selectedIndex;
  cell->selectedImage()->setImage(gfx::Image::named(checked ? "com_btn_checked.png" : "com_btn_check.png"));
  if (indexPath.row >= 0 && static_cast<size_t>(indexPath.row) < m_foodInfoArray.size())
    cell->lblName()->setText(m_foodInfoArray[static_cast<size_t>(indexPath.row)]);
  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  return cell;
}

void PopViewController::didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) {
  if (indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= m_foodInfoArray.size()) return;
  m_addInfo = m_foodInfoArray[static_cast<size_t>(indexPath.row)];
  m_selectedIndex = indexPath.row;
  tableView.reloadData();
}

}  // namespace kt
