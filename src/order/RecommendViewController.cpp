#include "order/RecommendViewController.h"

#include <cmath>
#include <utility>

#include "app/ColorHexadecimal.h"
#include "app/URLQX.h"
#include "imagecache/ImageViewWebCache.h"
#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/OKSelectFoodObject.h"
#include "order/OrderParsing.h"
#include "order/OrderScenery.h"
#include "order/PackChildViewController.h"
#include "order/PackChildViewObj.h"
#include "order/PopViewController.h"
#include "order/RoomInfoBarView.h"
#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/Value.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/StoryboardSegue.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

RecommendViewController::RecommendViewController() {
  shouldAutorotateToInterfaceOrientation = OrderScenery::landscapeOnly;
  // Stores a dish list; the screen never takes the decoder itself, so only a screen that hands
  // the decoder to it gets here.
  socketDataHandleDidFoodList = [this](FoodList foods) { m_tempFoodList = std::move(foods); };
}

RecommendViewController::~RecommendViewController() {
  clearPopoverDelegate();
  if (m_hFlowView) {
    m_hFlowView->setDataSource(nullptr);
    m_hFlowView->setDelegate(nullptr);
  }
}

void RecommendViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  const bool sevenOrLater = core::Value(core::Device::systemVersion()).floatValue() >= 7.0f;
  m_roomInfobar = OrderScenery::darkSceneWithRoomBar(*view(), sevenOrLater ? 39 : 19);
  buildScene();
  m_hFlowView->setDelegate(this);
  m_hFlowView->setDataSource(this);
  m_hFlowView->setPageControl(m_hPageControl);
  m_hFlowView->setMinimumPageAlpha(0.5);
  m_hFlowView->setMinimumPageScale(0.9);
  m_lblPinMing->setShadowOffset({0, 2});
  m_lblPinMing->setShadowColor(gfx::Color::rgba(0, 0, 0, 0.75));
  m_lblPinMing->setShadowBlur(5);
  if (const auto& scroller = m_hFlowView->scrollView()) {
    m_scrollView = scroller;
    scroller->addContentOffsetObserver(weak_from_this(), [this](gfx::Point, gfx::Point) {
      if (auto scrolled = m_scrollView.lock()) scrollViewDidScroll(*scrolled);
    });
  }
}

void RecommendViewController::buildScene() {
  ui::View& root = *view();
  const auto weak = weak_from_this();
  const auto action = [weak](void (*fn)(RecommendViewController&)) {
    return [weak, fn](ui::Control&, const ui::Event*) {
      if (auto alive = std::dynamic_pointer_cast<RecommendViewController>(weak.lock())) fn(*alive);
    };
  };
  OrderScenery::caption(root, {520, 60, 340, 44}, "推荐菜品", 28, true);
  m_btnBack = OrderScenery::button(root, {884, 56, 120, 50}, "返回", "3a4660");
  m_btnBack->addTarget(this, action([](RecommendViewController& s) { s.goBackAction(); }),
                       ui::ControlEventTouchUpInside);

  m_hFlowView = std::make_shared<FlowPagerView>(gfx::Rect{0, 136, 1024, 550});
  root.addSubview(m_hFlowView);
  m_hPageControl = ui::PageControl::create(gfx::Rect{312, 686, 400, 18});
  m_hPageControl->addTarget(this, action([](RecommendViewController& s) { s.pageControlValueDidChange(); }),
                            ui::ControlEventValueChanged);
  root.addSubview(m_hPageControl);

  m_lblPinMing = OrderScenery::caption(root, {30, 706, 330, 52}, "", 26, true);
  OrderScenery::caption(root, {370, 706, 60, 52}, "单价", 18);
  m_lblDanJia = OrderScenery::caption(root, {430, 706, 110, 52}, "", 22, true);
  m_lblDanJia->setTextColor(ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::whiteColor()));
  OrderScenery::caption(root, {545, 706, 60, 52}, "单位", 18);
  m_lblDanWei = OrderScenery::caption(root, {605, 706, 80, 52}, "", 22, true);
  OrderScenery::caption(root, {690, 706, 60, 52}, "已选", 18);
  m_lblYiXuan = OrderScenery::caption(root, {750, 706, 80, 52}, "", 22, true);
  m_btnDianXuan = OrderScenery::button(root, {850, 706, 150, 52}, "点选", "c8801e");
  m_btnDianXuan->addTarget(this, action([](RecommendViewController& s) { s.btnDianXuanAction(); }),
                           ui::ControlEventTouchUpInside);
}

void RecommendViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  if (m_hFlowView) didScrollToPage(*m_hFlowView, 0);
}

void RecommendViewController::viewDidUnload() {
  if (m_hFlowView) {
    m_hFlowView->setDataSource(nullptr);
    m_hFlowView->setDelegate(nullptr);
  }
  if (auto scroller = m_scrollView.lock()) scroller->removeObservers(weak_from_this());
  m_scrollView.reset();
  m_hFlowView.reset();
  m_hPageControl.reset();
  m_lblPinMing.reset();
  m_lblDanJia.reset();
  m_lblDanWei.reset();
  m_lblYiXuan.reset();
  m_btnDianXuan.reset();
}

// ---- Pages ----

int64_t RecommendViewController::numberOfPagesInFlowView(FlowPagerView&) {
  return static_cast<int64_t>(m_tempFoodList.size());
}

std::shared_ptr<ui::View> RecommendViewController::cellForPageAtIndex(FlowPagerView& flowView, int64_t index) {
  auto page = std::dynamic_pointer_cast<ui::ImageView>(flowView.dequeueReusableCell());
  if (!page) {
    page = ui::ImageView::create();
    page->setBackgroundColor(ColorHexadecimal::colorWithHexString("1c2333"));
    page->layer()->setCornerRadius(6);
    page->layer()->setMasksToBounds(true);
  }
  if (index >= 0 && static_cast<size_t>(index) < m_tempFoodList.size() && m_tempFoodList[static_cast<size_t>(index)])
    ImageViewWebCache::ic_setImageWithURL(page, GetServerUrl(textOf(m_tempFoodList[static_cast<size_t>(index)]->No()), PhotoWidth,
                                          PhotoHeight));
  return page;
}

gfx::Size RecommendViewController::sizeForPageInFlowView(FlowPagerView&) { return PageSize; }

void RecommendViewController::didScrollToPage(FlowPagerView&, int64_t page) { showPage(page); }

void RecommendViewController::pageControlValueDidChange() {
  if (!m_hPageControl) return;
  const int page = m_hPageControl->currentPage();
  if (m_hFlowView && page >= 0) m_hFlowView->scrollToPage(static_cast<uint64_t>(page));
  showPage(page);
}

void RecommendViewController::scrollViewDidScroll(ui::ScrollView& scrollView) {
  const double width = scrollView.frame().width();
  if (!(width > 0)) return;
  const float quotient = static_cast<float>((scrollView.contentOffset().x - width / 2) / width);
  showPage(static_cast<int64_t>(std::floor(quotient)) + 1);
}

void RecommendViewController::showPage(int64_t page) {
  if (m_tempFoodList.empty()) return;
  const int64_t last = static_cast<int64_t>(m_tempFoodList.size()) - 1;
  m_index = static_cast<int32_t>(std::clamp<int64_t>(page, 0, last));
  updateInterface();
}

void RecommendViewController::updateInterface() {
  if (m_tempFoodList.empty()) return;
  m_index = std::clamp<int32_t>(m_index, 0, static_cast<int32_t>(m_tempFoodList.size()) - 1);
  const std::shared_ptr<OKFoodObject>& dish = m_tempFoodList[static_cast<size_t>(m_index)];
  if (!dish || !m_btnDianXuan) return;
  m_btnDianXuan->setHidden(false);
  m_lblPinMing->setText(textOf(dish->NameChs()));
  m_lblDanJia->setText(textOf(dish->Price()));
  m_lblDanWei->setText(textOf(dish->Monad()));
  m_lblYiXuan->setText("0");
  auto basket = SocketDataHandle::sharedInstance().getTmpSelectFood();
  if (!basket) return;
  for (const auto& line : basket->foodSetArray()) {
    if (line && textOf(line->FoodNo()) == textOf(dish->No())) {
      m_lblYiXuan->setText(textOf(line->Quantity()));
      m_btnDianXuan->setHidden(true);
      break;
    }
  }
}

std::optional<net::URL> RecommendViewController::GetServerUrl(const std::string& foodNo, double width,
                                                             double height) {
  return URLQX::getFoodImageUrl(foodNo, width, height);
}

// ---- Ordering ----

void RecommendViewController::btnDianXuanAction() {
  if (m_tempFoodList.empty() || static_cast<size_t>(m_index) >= m_tempFoodList.size() || m_index < 0) return;
  m_segueFood = m_tempFoodList[static_cast<size_t>(m_index)];
  performSegueWithIdentifier(PopoverSegue, nullptr);
  m_segueFood.reset();
}

void RecommendViewController::prepareForSegue(ui::StoryboardSegue& segue, ui::Responder*) {
  const auto& destination = segue.destinationViewController();
  if (segue.identifier() == PopoverSegue) {
    if (auto popover = std::dynamic_pointer_cast<PopViewController>(destination)) {
      popover->setDelegate(popDelegateWeakPtr());
      popover->setTempFoodObject(m_segueFood);
    }
  } else if (segue.identifier() == PackChooserSegue) {
    auto chooser = std::dynamic_pointer_cast<PackChildViewController>(destination);
    if (chooser && m_seguePack && m_segueDict) {
      chooser->setDelegate(popDelegateWeakPtr());
      chooser->setParameters(*m_seguePack);
      chooser->setDict(*m_segueDict);
    }
  }
}

void RecommendViewController::popViewControllerDidConfirm() {
  if (const auto& popover = popoverController()) popover->dismissPopoverAnimated(true);
  updateInterface();
}

void RecommendViewController::popViewControllerToPackChildView(const PackChildFoodMap& dict,
                                                               std::shared_ptr<PackChildViewObj> packChlidVC) {
  handOverToPackChooser(dict, std::move(packChlidVC));
}

void RecommendViewController::popViewControllerToPackChildView2(const PackChildFoodMap& dict,
                                                                std::shared_ptr<PackChildViewObj> packChlidVC) {
  handOverToPackChooser(dict, std::move(packChlidVC));
}

void RecommendViewController::handOverToPackChooser(const PackChildFoodMap& dict,
                                                    std::shared_ptr<PackChildViewObj> packChlidVC) {
  // The dish popover closes, and the chooser opens from the order button as on the menu.
  if (const auto& popover = popoverController()) popover->dismissPopoverAnimated(false);
  m_segueDict = dict;
  m_seguePack = std::move(packChlidVC);
  performSegueWithIdentifier(PackChooserSegue, nullptr);
  m_segueDict.reset();
  m_seguePack.reset();
}

void RecommendViewController::goBackAction() {
  if (recommendViewControllerDelegate* delegate = m_delegate.get()) delegate->dismiss(*this);
}

}  // namespace kt
