#include "order/OrderMainViewController.h"

#include <cmath>
#include <functional>

#include "app/DataCenter.h"
#include "app/URLQX.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/ImageViewWebCache.h"
#include "link/FoodTypeObject.h"
#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/RoomRequests.h"
#include "link/ServerNetworkCenter.h"
#include "order/OrderParsing.h"
#include "order/PackChildViewController.h"
#include "order/PackChildViewObj.h"
#include "order/PopViewController.h"
#include "order/RoomInfoBarView.h"
#include "order/TowTableViewCell.h"
#include "platform/core/Log.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Nib.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/StoryboardSegue.h"
#include "platform/ui/TableViewCell.h"
#include "songs/ChooseMusicVC.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace kt {

namespace {

constexpr double kCategoryRowHeight = 50;
constexpr double kCategoryHeaderHeight = 50;
constexpr double kFoodRowHeight = 60;
constexpr const char* kCategoryCell = "cell";

// The venue look of the ordering screens.
gfx::Color background() { return gfx::Color::rgba(0.05, 0.045, 0.12); }
gfx::Color panel() { return gfx::Color::rgba(0.11, 0.10, 0.24, 0.9); }
gfx::Color accent() { return gfx::Color::rgba(1.0, 0.8, 0.3); }
gfx::Color softText() { return gfx::Color::rgba(0.62, 0.70, 0.82); }

std::shared_ptr<const gfx::Font> menuFont(double size) {
  return gfx::Font::font(OrderMainViewController::MenuFontName, size);
}

std::shared_ptr<EffectLabel> paneLabel(ui::View& parent, const gfx::Rect& frame, const gfx::Color& color) {
  auto label = EffectLabel::create(frame);
  label->setTextColor(color);
  label->setShadowBlur(3);
  parent.addSubview(label);
  return label;
}

std::shared_ptr<ui::View> panelView(ui::View& parent, const gfx::Rect& frame) {
  auto view = ui::View::create(frame);
  view->setBackgroundColor(panel());
  view->layer()->setCornerRadius(12);
  parent.insertSubview(view, 0);  // behind the tables and the pane
  return view;
}

// A control action that reaches the screen while it lives.
ui::Control::Action onScreen(OrderMainViewController& screen,
                             std::function<void(OrderMainViewController&, ui::Control&)> action) {
  return [weak = screen.weak_from_this(), action = std::move(action)](ui::Control& sender, const ui::Event*) {
    if (auto alive = weak.lock()) action(dynamic_cast<OrderMainViewController&>(*alive), sender);
  };
}

size_t basketLineCount() {
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  return basket ? basket->foodSetArray().size() : 0;
}

// The basket for the log: one line per basket line, its dish, name, quantity and flag.
std::string basketText() {
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  std::string text = "(";
  if (basket) {
    const FolioList& lines = basket->foodSetArray();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (!lines[i]) continue;
      const OKFolioObject& line = *lines[i];
      text += "\n    " + textOf(line.FoodNo()) + " " + textOf(line.FoodName()) + " x" + textOf(line.Quantity()) + " " +
              textOf(line.Flag()) + (i + 1 < lines.size() ? "," : "");
    }
  }
  return text + "\n)";
}

}  // namespace

OrderMainViewController::OrderMainViewController() {
  socketDataHandleDidCategory = [this](FoodTypeList categories) { didCategory(std::move(categories)); };
  socketDataHandleDidFoodList = [this](FoodList foods) { didFoodList(std::move(foods)); };
  socketDataHandleDidRoomStateAndInfo = [this] {
    if (m_roomInfobar) m_roomInfobar->fillFromDataCenter();
  };
  // An order the guest left the basket screen behind comes back here: an accepted one has taken
  // its lines out of the basket, so the count follows. A refusal waits in the basket for its screen.
  socketDataHandleDidConfirmInputFood = [this](const Text&) { refreshOrderCount(); };
  shouldAutorotateToInterfaceOrientation = [](ui::InterfaceOrientation orientation) {
    return orientation == ui::InterfaceOrientation::LandscapeLeft ||
           orientation == ui::InterfaceOrientation::LandscapeRight;
  };
}

OrderMainViewController::~OrderMainViewController() {
  clearPopoverDelegate();
  if (auto alert = m_noRecommendAlert.lock(); alert && alert->delegate() == this) alert->setDelegate(nullptr);
  for (const auto& table : {m_MyTableview, m_TowTableView}) {
    if (!table) continue;
    table->setDataSource(nullptr);
    table->setDelegate(nullptr);
  }
}

// ---- Loading and appearing ----

void OrderMainViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  m_level1TypeAry.clear();
  m_level2TypeDict.clear();
  m_foodAry.clear();

  view()->setBackgroundColor(background());
  m_TowTableView = ui::TableView::create(gfx::Rect{209, 120, 327, 560}, ui::TableViewStyle::Plain);
  m_TowTableView->setDataSource(this);
  m_TowTableView->setDelegate(this);
  m_TowTableView->setTag(FoodTableTag);
  m_TowTableView->setBackgroundColor(gfx::Color::clear());
  m_TowTableView->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
  view()->addSubview(m_TowTableView);

  TempOederCenter::sharedInstance().setDelegata(this);
  if (ui::NavigationController* nav = navigationController()) nav->setNavigationBarHidden(true);
  takeReplies();

  m_roomInfobar = RoomInfoBarView::initWithXib();
  if (m_roomInfobar) {
    gfx::Rect frame = m_roomInfobar->frame();
    frame.origin = {10, 19};
    m_roomInfobar->setFrame(frame);
    view()->addSubview(m_roomInfobar);
  }
  buildScreen();

  ServerNetworkCenter& link = ServerNetworkCenter::sharedInstance();
  if (!link.isConnect()) link.initConnect();
  RoomRequests::send(RoomRequests::foodCategory());
}

void OrderMainViewController::buildScreen() {
  ui::View& root = *view();
  // The panels behind the food table and the detail pane.
  panelView(root, gfx::Rect{203, 114, 339, 572});
  panelView(root, gfx::Rect{552, 114, 462, 572});

  // Detail pane: price and unit, the names, the photograph and the order button.
  m_PicName = paneLabel(root, gfx::Rect{570, 128, 426, 36}, accent());
  m_Foodlable = paneLabel(root, gfx::Rect{570, 170, 426, 40}, gfx::Color::whiteColor());
  m_FoodEngName = paneLabel(root, gfx::Rect{570, 214, 426, 30}, softText());
  m_FootImage = ui::ImageView::create(gfx::Rect{583, 256, 400, 300});
  m_FootImage->setBackgroundColor(gfx::Color::rgba(0.08, 0.07, 0.18));
  root.addSubview(m_FootImage);
  m_DianXuanBut = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{693, 600, 180, 56});
  m_DianXuanBut->setTitle(std::string("点 选"));
  m_DianXuanBut->setTitleColor(gfx::Color::whiteColor());
  m_DianXuanBut->setTitleColor(gfx::Color::white(0.55), ui::ControlStateDisabled);
  m_DianXuanBut->titleLabel()->setFont(gfx::Font::boldSystemFont(24));
  m_DianXuanBut->setBackgroundColor(gfx::Color::rgba(0.48, 0.36, 1.0));
  m_DianXuanBut->layer()->setCornerRadius(10);
  auto order = [](OrderMainViewController& screen, ui::Control& sender) {
    screen.showInputView(static_cast<ui::Button&>(sender));
  };
  m_DianXuanBut->addTarget(this, onScreen(*this, order), ui::ControlEventTouchUpInside);
  root.addSubview(m_DianXuanBut);
  clearDetailPane();

  // The top row: recommended dishes, staff, the bill, the basket with its count, back to the songs.
  m_recommendButton = addButton(gfx::Rect{494, 34, 98, 48}, "推荐菜品", &OrderMainViewController::recommendAction);
  m_staffButton = addButton(gfx::Rect{598, 34, 98, 48}, "佳丽", &OrderMainViewController::clickJiaLi);
  m_billButton = addButton(gfx::Rect{702, 34, 98, 48}, "账单", nullptr);
  // The bill is a storyboard link of the button.
  auto openBill = [](OrderMainViewController& screen, ui::Control& sender) {
    screen.triggerSegueWithIdentifier(ShowBill, &sender);
  };
  m_billButton->addTarget(this, onScreen(*this, openBill), ui::ControlEventTouchUpInside);
  m_basketButton = addButton(gfx::Rect{806, 34, 98, 48}, "已点菜品", nullptr);
  // The basket is a storyboard link of the button.
  auto openBasket = [](OrderMainViewController& screen, ui::Control& sender) {
    screen.triggerSegueWithIdentifier(ShowOrderedFood, &sender);
  };
  m_basketButton->addTarget(this, onScreen(*this, openBasket), ui::ControlEventTouchUpInside);
  m_lblOrderNum = EffectLabel::create(gfx::Rect{884, 24, 28, 28});
  m_lblOrderNum->setTextAlignment(gfx::TextAlignment::Center);
  m_lblOrderNum->setFont(gfx::Font::boldSystemFont(15));
  m_lblOrderNum->setTextColor(gfx::Color::whiteColor());
  m_lblOrderNum->setBackgroundColor(gfx::Color::rgba(0.9, 0.2, 0.35));
  m_lblOrderNum->layer()->setCornerRadius(14);
  m_lblOrderNum->layer()->setMasksToBounds(true);
  m_lblOrderNum->setText("0");
  root.addSubview(m_lblOrderNum);
  m_backButton = addButton(gfx::Rect{910, 34, 98, 48}, "返回点歌", &OrderMainViewController::backToSong);
}

std::shared_ptr<ui::Button> OrderMainViewController::addButton(const gfx::Rect& frame, const std::string& title,
                                                               void (OrderMainViewController::*action)()) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  button->setTitle(title);
  button->setTitleColor(gfx::Color::whiteColor());
  button->setTitleColor(gfx::Color::white(0.4), ui::ControlStateDisabled);
  button->titleLabel()->setFont(gfx::Font::boldSystemFont(17));
  button->setBackgroundColor(gfx::Color::rgba(0.18, 0.16, 0.38));
  button->layer()->setCornerRadius(8);
  if (action) {
    button->addTarget(this,
                      onScreen(*this, [action](OrderMainViewController& screen, ui::Control&) { (screen.*action)(); }),
                      ui::ControlEventTouchUpInside);
  }
  view()->addSubview(button);
  return button;
}

void OrderMainViewController::viewWillAppear(bool animated) {
  ui::ViewController::viewWillAppear(animated);
  takeReplies();
}

void OrderMainViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  takeReplies();
  refreshOrderCount();
  RoomRequests::send(RoomRequests::roomStateAndInfo());
}

void OrderMainViewController::viewDidUnload() {
  ui::ViewController::viewDidUnload();
  m_roomInfobar.reset();
  m_lblOrderNum.reset();
  m_MyTableview.reset();
  m_TowTableView.reset();
}

void OrderMainViewController::takeReplies() { SocketDataHandle::sharedInstance().setDelegate(this); }

void OrderMainViewController::refreshOrderCount() {
  if (m_lblOrderNum) m_lblOrderNum->setText(std::to_string(basketLineCount()));
}

void OrderMainViewController::clearDetailPane() {
  if (m_PicName) m_PicName->setText("");
  if (m_Foodlable) m_Foodlable->setText("");
  if (m_FoodEngName) m_FoodEngName->setText("");
  if (m_FootImage) {
    // A photograph still on its way must not fill the empty pane.
    ImageViewWebCache::ic_cancelCurrentImageLoad(m_FootImage);
    m_FootImage->setImage(nullptr);
  }
  // The order button orders the dish the pane shows, so an empty pane has nothing to order.
  m_selectedFood.reset();
  if (m_DianXuanBut) m_DianXuanBut->setEnabled(false);
}

// ---- Replies ----

void OrderMainViewController::didCategory(FoodTypeList categories) {
  m_level1TypeAry.clear();
  m_level2TypeDict.clear();
  m_foodAry.clear();
  for (auto& category : categories) {
    if (!category) continue;
    if (textIs(category->Level(), "1")) {
      m_level1TypeAry.push_back(category);
    } else if (textIs(category->Level(), "2")) {
      m_level2TypeDict[textOf(category->ParentNo())].push_back(category);
    }
  }
  // One category table for the life of the screen: a later reply reloads it.
  if (m_MyTableview) {
    m_MyTableview->reloadData();
  } else {
    getTableView();
  }
}

void OrderMainViewController::getTableView() {
  m_MyTableview = ui::TableView::create(gfx::Rect{11, 135, 180, 573}, ui::TableViewStyle::Plain);
  m_MyTableview->setDataSource(this);
  m_MyTableview->setDelegate(this);
  m_MyTableview->setTag(CategoryTableTag);
  m_MyTableview->setBackgroundColor(gfx::Color::clear());
  m_MyTableview->setSeparatorColor(gfx::Color::rgba(0.3, 0.33, 0.5));
  view()->addSubview(m_MyTableview);
}

void OrderMainViewController::didFoodList(FoodList foods) {
  if (!m_isRecommend) {
    m_foodListArray = std::move(foods);
  } else if (foods.empty()) {
    auto alert = ui::AlertView::create("提示", NoRecommendedText, this, std::string("OK"));
    m_noRecommendAlert = alert;
    alert->show();
    m_isRecommend = false;
  } else {
    m_handOverFoods = std::move(foods);
    performSegueWithIdentifier(ShowRecommendView, this);
    m_handOverFoods.clear();
  }
  if (m_TowTableView) m_TowTableView->reloadData();
}

// ---- Tables ----

const FoodTypeList* OrderMainViewController::subCategories(int section) const {
  if (section < 0 || size_t(section) >= m_level1TypeAry.size()) return nullptr;
  const FoodTypeObject& top = *m_level1TypeAry[size_t(section)];
  if (!textIs(top.Choise(), "1")) return nullptr;
  auto it = m_level2TypeDict.find(textOf(top.TypeNo()));
  return it == m_level2TypeDict.end() ? nullptr : &it->second;
}

const FoodTypeObject* OrderMainViewController::subCategory(int section, int row) const {
  const FoodTypeList* rows = subCategories(section);
  return rows && row >= 0 && size_t(row) < rows->size() ? (*rows)[size_t(row)].get() : nullptr;
}

int OrderMainViewController::numberOfSectionsInTableView(ui::TableView& tableView) {
  return tableView.tag() == CategoryTableTag ? int(m_level1TypeAry.size()) : 1;
}

int OrderMainViewController::numberOfRowsInSection(ui::TableView& tableView, int section) {
  if (tableView.tag() == CategoryTableTag) {
    const FoodTypeList* rows = subCategories(section);
    return rows ? int(rows->size()) : 0;
  }
  return int(m_foodListArray.size());
}

std::shared_ptr<ui::TableViewCell> OrderMainViewController::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                                  const ui::IndexPath& indexPath) {
  if (tableView.tag() == CategoryTableTag) {
    auto cell = tableView.dequeueReusableCellWithIdentifier(kCategoryCell);
    if (!cell) {
      cell = ui::TableViewCell::create(ui::TableViewCellStyle::Default, kCategoryCell);
      cell->setBackgroundColor(gfx::Color::rgba(0.10, 0.09, 0.22));
      cell->textLabel()->setTextColor(gfx::Color::whiteColor());
    }
    const FoodTypeObject* sub = subCategory(indexPath.section, indexPath.row);
    cell->textLabel()->setText(sub ? textOf(sub->TypeName()) : "");
    cell->textLabel()->setFont(menuFont(22));
    return cell;
  }

  std::shared_ptr<TowTableViewCell> cell = std::dynamic_pointer_cast<TowTableViewCell>(
      tableView.dequeueReusableCellWithIdentifier(TowTableViewCell::ReuseIdentifier));
  if (!cell) {
    const ui::Nib::Objects objects = ui::Nib::load(TowTableViewCell::NibName, nullptr);
    if (!objects.empty()) cell = std::dynamic_pointer_cast<TowTableViewCell>(objects.back());
    if (!cell) cell = std::make_shared<TowTableViewCell>();
  }
  if (indexPath.row >= 0 && size_t(indexPath.row) < m_foodListArray.size()) {
    const OKFoodObject& food = *m_foodListArray[size_t(indexPath.row)];
    cell->NameChs()->setText(textOf(food.NameChs()));
    cell->NameEng()->setText(textOf(food.NameEng()));
  }
  return cell;
}

std::optional<double> OrderMainViewController::heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath&) {
  return tableView.tag() == CategoryTableTag ? kCategoryRowHeight : kFoodRowHeight;
}

std::optional<double> OrderMainViewController::heightForHeaderInSection(ui::TableView& tableView, int) {
  return tableView.tag() == CategoryTableTag ? kCategoryHeaderHeight : 0;
}

std::shared_ptr<ui::View> OrderMainViewController::viewForHeaderInSection(ui::TableView& tableView, int section) {
  if (tableView.tag() != CategoryTableTag || section < 0 || size_t(section) >= m_level1TypeAry.size()) return nullptr;
  const FoodTypeObject& top = *m_level1TypeAry[size_t(section)];
  auto header = ui::View::create(gfx::Rect{0, 0, 180, 50});
  auto back = ui::ImageView::create(gfx::Rect{0, 0, 300, 50});
  back->setImage(gfx::Image::named("未选中"));
  header->addSubview(back);

  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{0, 0, 180, 50});
  button->setContentHorizontalAlignment(ui::ContentHorizontalAlignment::Left);
  // The title starts 30 points in. An inset of the content, not of the title: the platform's title
  // inset narrows the fitted title as well and would cut the name short.
  button->setContentEdgeInsets(gfx::EdgeInsets{0, 30, 0, 0});
  button->setTitle(textOf(top.TypeName()));
  button->titleLabel()->setFont(gfx::Font::boldSystemFont(25));
  button->setTitleColor(gfx::Color::black());
  button->setTag(section);
  button->addTarget(
      this,
      onScreen(*this, [](OrderMainViewController& screen, ui::Control& sender) { screen.buttonClick(sender.tag()); }),
      ui::ControlEventTouchUpInside);
  header->addSubview(button);

  auto arrow = ui::ImageView::create(gfx::Rect{10, 10, 20, 25});
  arrow->setImage(gfx::Image::named("三角2"));
  if (textIs(top.Choise(), "1")) arrow->setTransform(gfx::AffineTransform::rotation(M_PI_2));
  header->addSubview(arrow);
  return header;
}

void OrderMainViewController::didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) {
  if (tableView.tag() == CategoryTableTag) {
    selectSubCategory(indexPath.section, indexPath.row);
  } else {
    selectFood(indexPath.row);
  }
  tableView.deselectRowAtIndexPath(indexPath, true);
}

void OrderMainViewController::buttonClick(int section) {
  if (section < 0 || size_t(section) >= m_level1TypeAry.size() || !m_MyTableview) return;
  FoodTypeObject& top = *m_level1TypeAry[size_t(section)];
  top.setChoise(textIs(top.Choise(), "1") ? "" : "1");
  m_MyTableview->reloadSections(ui::IndexSet{section}, ui::TableViewRowAnimation::None);
}

void OrderMainViewController::selectSubCategory(int section, int row) {
  const FoodTypeObject* sub = subCategory(section, row);
  if (!sub) return;
  RoomRequests::send(RoomRequests::foodList(sub->TypeNo()));
  if (m_MyTableview) m_MyTableview->reloadData();
  clearDetailPane();
}

std::optional<net::URL> OrderMainViewController::GetServerUrl(const std::string& foodNo, double width, double height,
                                                              const std::string& modifyTime) {
  std::optional<net::URL> url = URLQX::getFoodImageUrl(foodNo, width, height, modifyTime);
  KT_LOG("%s", url ? url->absoluteString().c_str() : "(null)");
  return url;
}

void OrderMainViewController::selectFood(int row) {
  if (row < 0 || size_t(row) >= m_foodListArray.size()) return;
  std::shared_ptr<OKFoodObject> food = m_foodListArray[size_t(row)];
  m_PicName->setText(textOf(food->Price()) + "/" + textOf(food->Monad()));
  m_PicName->setFont(menuFont(25));
  m_Foodlable->setText(textOf(food->NameChs()));
  m_Foodlable->setFont(menuFont(28));
  m_FoodEngName->setText(textOf(food->NameEng()));
  m_FoodEngName->setFont(menuFont(20));
  const gfx::Rect bounds = m_FootImage->bounds();
  ImageViewWebCache::ic_setImageWithURL(
      m_FootImage,
      GetServerUrl(textOf(food->No()), bounds.width(), bounds.height(), textOf(food->FoodImageModifyTime())),
      nullptr, ICWebImageLoadRetryFailed);
  m_FootImage->layer()->setCornerRadius(8);
  m_FootImage->layer()->setMasksToBounds(true);
  m_DianXuanBut->setTag(row);
  m_DianXuanBut->setEnabled(true);
  m_selectedFood = std::move(food);
}

// ---- Actions ----

void OrderMainViewController::showInputView(ui::Button& button) {
  // The dish the pane shows, not whatever row the button's tag names in the current list.
  if (!m_selectedFood) return;
  m_currentBtn = std::static_pointer_cast<ui::Button>(button.shared_from_this());
  m_handOverFood = m_selectedFood;
  performSegueWithIdentifier(ShowPopView, this);
  m_handOverFood.reset();
}

void OrderMainViewController::recommendAction() {
  m_isRecommend = true;
  RoomRequests::send(RoomRequests::recommendedFoodList());
}

void OrderMainViewController::dismiss(RecommendViewController& /*recommend*/) {
  dismissViewControllerAnimated(true);
  m_isRecommend = false;
}

void OrderMainViewController::backToSong() {
  // The guest leaves ordering: the link is closed for good, so this screen takes the connection
  // changes from now on and lets them be (the decoder would open a lost link again at once).
  serverConnect = [](SocketDataHandle&, bool) {};
  takeReplies();
  ServerNetworkCenter::sharedInstance().disconnectToServer();
  SNStatusBarNotification::dismiss();
  ui::NavigationController* nav = navigationController();
  if (!nav) return;
  const auto& stack = nav->viewControllers();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if (dynamic_cast<ChooseMusicVC*>(it->get())) {
      nav->popToViewController(it->get(), true);
      return;
    }
  }
}

void OrderMainViewController::clickJiaLi() { performSegueWithIdentifier(ShowGongGuanZhaoPian, this); }

void OrderMainViewController::prepareForSegue(ui::StoryboardSegue& segue, ui::Responder* /*sender*/) {
  ui::ViewController* destination = segue.destinationViewController().get();
  const std::string& identifier = segue.identifier();
  if (identifier == ShowPopView) {
    if (auto* popover = dynamic_cast<PopViewController*>(destination)) {
      popover->setDelegate(popDelegateWeakPtr());
      popover->setTempFoodObject(m_handOverFood);
    }
  } else if (identifier == ShowRecommendView) {
    if (auto* recommend = dynamic_cast<RecommendViewController*>(destination)) {
      recommend->setDelegate(this);
      recommend->setTempFoodList(m_handOverFoods);
    }
  } else if (identifier == ShowPackChildView) {
    if (auto* chooser = dynamic_cast<PackChildViewController*>(destination)) {
      chooser->setDelegate(popDelegateWeakPtr());
      if (auto parameters = m_packChlidVC.lock()) {
        chooser->setFood(parameters->food());
        chooser->setSelectedFoods(parameters->selectedFoods());
        chooser->setSGroupID(parameters->sGroupID());
        chooser->setPackArray(parameters->packArray());
      }
      if (m_handOverDict) chooser->setDict(*m_handOverDict);
    }
  }
}

// ---- What the opened screens tell it ----

void OrderMainViewController::popViewControllerDidConfirm() {
  takeReplies();
  const size_t lines = basketLineCount();
  KT_LOG("%s", basketText().c_str());
  if (m_lblOrderNum) m_lblOrderNum->setText(std::to_string(lines));
  if (const auto& popover = popoverController()) popover->dismissPopoverAnimated(true);
  takeReplies();
}

void OrderMainViewController::popViewControllerToPackChildView(const PackChildFoodMap& dict,
                                                               std::shared_ptr<PackChildViewObj> packChlidVC) {
  m_packChlidVC = packChlidVC;
  m_handOverDict = dict;
  performSegueWithIdentifier(ShowPackChildView, this);
  m_handOverDict.reset();
}

void OrderMainViewController::popViewControllerToPackChildView2(const PackChildFoodMap& dict,
                                                                std::shared_ptr<PackChildViewObj> packChlidVC) {
  popViewControllerToPackChildView(dict, std::move(packChlidVC));
}

void OrderMainViewController::popoverControllerDidDismissPopover(ui::PopoverController& /*popover*/) {
  takeReplies();
  refreshOrderCount();
}

}  // namespace kt
