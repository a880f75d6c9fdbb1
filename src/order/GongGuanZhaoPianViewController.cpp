#include "order/GongGuanZhaoPianViewController.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "app/AlertViewQX.h"
#include "app/DataCenter.h"
#include "app/URLQX.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/ImageViewWebCache.h"
#include "link/CancelGongGuanHuJiao.h"
#include "link/GongGuanHuJiao.h"
#include "link/GongGuanList.h"
#include "link/MsgCodes.h"
#include "link/RoomRequests.h"
#include "order/OrderParsing.h"
#include "order/OrderScenery.h"
#include "order/PendingStaffRequests.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/Timer.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Layer.h"
#include "platform/net/TcpPort.h"
#include "platform/net/URL.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/SegmentedControl.h"
#include "soap/WebService.h"
#include "soap/WebServiceBinding.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewCell.h"
#include "widgets/feedback/ProgressOverlay.h"

namespace kt {

namespace {

// The scene on the 1024 x 768 grid: a top bar, the photo area (the photo of a page centred on
// the screen) and the strip under it.
const gfx::Rect kPhotoArea{0, 64, 988, 600};
const gfx::Rect kStrip{62, 672, 900, 90};

std::string defaultText(const char* key) { return core::UserDefaults::standard().stringForKey(key).value_or(""); }

using Screen = GongGuanZhaoPianViewController;

// Runs `fn` on the screen while it lives.
template <class Fn>
auto whileAlive(Screen& screen, Fn fn) {
  return [weak = screen.weak_from_this(), fn](auto&&... args) {
    if (auto alive = std::dynamic_pointer_cast<Screen>(weak.lock())) fn(*alive, args...);
  };
}

}  // namespace

// ---- StaffPhotoShelf ----

void StaffPhotoShelf::clear() {
  std::lock_guard lock(m_mutex);
  m_images.clear();
}

void StaffPhotoShelf::append() {
  std::lock_guard lock(m_mutex);
  m_images.emplace_back();
}

void StaffPhotoShelf::setImage(size_t page, ImagePtr image) {
  std::lock_guard lock(m_mutex);
  if (page < m_images.size()) m_images[page] = std::move(image);
}

size_t StaffPhotoShelf::count() const {
  std::lock_guard lock(m_mutex);
  return m_images.size();
}

StaffPhotoShelf::ImagePtr StaffPhotoShelf::image(size_t page) const {
  std::lock_guard lock(m_mutex);
  return page < m_images.size() ? m_images[page] : nullptr;
}

uint64_t StaffPhotoShelf::numberOfImagesForThumbStripView(ThumbStripView&) { return count(); }

std::shared_ptr<const gfx::Image> StaffPhotoShelf::imageAtIndex(ThumbStripView&, uint64_t index) {
  if (index >= count()) return nullptr;
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return image(static_cast<size_t>(index));
}

// ---- GongGuanZhaoPianViewController ----

std::vector<std::string> GongGuanZhaoPianViewController::splitPhotoNames(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
    parts.push_back(text.substr(start, comma - start));
  parts.push_back(text.substr(start));
  return parts;
}

bool GongGuanZhaoPianViewController::isPhotoName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.find('/', dot) != std::string::npos) return false;
  const std::string extension = name.substr(dot + 1);
  return extension == "jpg" || extension == "png";
}

GongGuanZhaoPianViewController::GongGuanZhaoPianViewController() {
  shouldAutorotateToInterfaceOrientation = [](ui::InterfaceOrientation orientation) {
    return orientation == ui::InterfaceOrientation::Portrait ||
           orientation == ui::InterfaceOrientation::PortraitUpsideDown;
  };
  canDeleteItemAtIndex = [](GridView&, int64_t) { return false; };
  socketDataHandleDidGongGuanHuJiao = [this](std::shared_ptr<GongGuanHuJiao> result) {
    if (result && textIs(result->ErrorCode(), "0") && m_btnHuJiao) m_btnHuJiao->setTitle(std::string("取消呼叫"));
  };
  socketDataHandleDidCancelGongGuanHuJiao = [this](std::shared_ptr<CancelGongGuanHuJiao> result) {
    if (result && textIs(result->ErrorCode(), "0") && m_btnHuJiao) m_btnHuJiao->setTitle(std::string("呼叫"));
  };
}

GongGuanZhaoPianViewController::~GongGuanZhaoPianViewController() {
  if (m_thumbTimer) m_thumbTimer->invalidate();
  if (auto alert = m_cancelAlert.lock()) alert->setDelegate(nullptr);
  if (auto grid = m_gmGridView.lock()) grid->setDelegate(nullptr);
  for (const auto& weak : m_pinches)
    if (auto pinch = weak.lock()) {
      pinch->setDelegate(nullptr);
      pinch->removeTarget(this);
    }
  if (m_panGesture) {
    m_panGesture->removeTarget(this);
    m_panGesture->setDelegate(nullptr);
  }
}

void GongGuanZhaoPianViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  m_serverIP = defaultText("Server_Ip");
  m_webUrl = "http://" + m_serverIP + "/WebService.asmx";
  m_binDing = WebService::WebServiceSoapBinding(m_serverIP);
  m_binDing->initWithAddress(m_webUrl);
  m_imageArray.clear();
  m_picNameAry.clear();
  buildScene();

  m_defaultH = m_scrollView->bounds().height();
  m_gmGridView = OrderScenery::pagedGrid(*m_scrollView, 5, this, this);

  m_currentState = NullState;
  m_defaultY = m_scrollView->frame().y();
  m_lastScale = 1;
  m_panGesture->addTarget(this, whileAlive(*this, [](Screen& s, ui::GestureRecognizer& r) { s.upAndDownAction(r); }));
  m_lblZhuangTai->setHidden(true);
}

void GongGuanZhaoPianViewController::buildScene() {
  ui::View& root = *view();
  root.setBackgroundColor(gfx::Color::black());
  const auto onTap = [this](ui::Button& button, void (*fn)(Screen&)) {
    button.addTarget(this, whileAlive(*this, [fn](Screen& s, ui::Control&, const ui::Event*) { fn(s); }),
                     ui::ControlEventTouchUpInside);
  };
  m_btnBack = OrderScenery::button(root, {20, 12, 90, 40}, "返回", "3a4660");
  onTap(*m_btnBack, [](Screen& s) { s.backAction(); });
  m_btnPre = OrderScenery::button(root, {130, 12, 100, 40}, "上一位", "3a4660");
  onTap(*m_btnPre, [](Screen& s) { s.preGongGuan(); });
  m_lblYiMing = OrderScenery::caption(root, {240, 8, 250, 48}, "", 26);
  m_lblZhuangTai = OrderScenery::caption(root, {240, 40, 250, 22}, "", 15);
  m_btnNext = OrderScenery::button(root, {500, 12, 100, 40}, "下一位", "3a4660");
  onTap(*m_btnNext, [](Screen& s) { s.nextGongGuan(); });
  m_btnHuJiao = OrderScenery::button(root, {640, 12, 130, 40}, "呼叫", "c8801e");
  onTap(*m_btnHuJiao, [](Screen& s) { s.callOrCancel(); });

  m_SegmentedControl = ui::SegmentedControl::withTitles({"图片", "视频"});
  m_SegmentedControl->setFrame({814, 14, 190, 36});
  m_SegmentedControl->setTintColor(gfx::Color::rgba(0.87, 0.92, 1.0));
  m_SegmentedControl->addTarget(
      this, whileAlive(*this, [](Screen& s, ui::Control&, const ui::Event*) { s.vedioSwitchAction(); }),
      ui::ControlEventValueChanged);
  root.addSubview(m_SegmentedControl);

  m_scrollView = std::make_shared<ui::ScrollView>(kPhotoArea);
  m_scrollView->setBackgroundColor(gfx::Color::clear());
  root.addSubview(m_scrollView);
  m_panGesture = std::make_shared<ui::PanGestureRecognizer>();
  m_panGesture->setDelegate(&m_dragGate);
  m_scrollView->addGestureRecognizer(m_panGesture);

  m_smallScrollView = std::make_shared<ui::ScrollView>(kStrip);
  m_smallScrollView->setBackgroundColor(gfx::Color::clear());
  root.addSubview(m_smallScrollView);
  m_thumbnailPickerView = std::make_shared<ThumbStripView>(kStrip);
  m_thumbnailPickerView->setDataSource(m_shelf);
  auto self = std::dynamic_pointer_cast<Screen>(shared_from_this());
  m_thumbnailPickerView->setDelegate(std::shared_ptr<ThumbStripViewDelegate>(self, self.get()));
  root.addSubview(m_thumbnailPickerView);
}

void GongGuanZhaoPianViewController::viewDidUnload() {
  m_thumbnailPickerView.reset();
  m_scrollView.reset();
  m_smallScrollView.reset();
  m_currentGongGuanObj.reset();
  m_lblYiMing.reset();
  m_imageArray.clear();
  m_shelf->clear();
  m_gmGridView.reset();
  ui::ViewController::viewDidUnload();
}

void GongGuanZhaoPianViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  SocketDataHandle::sharedInstance().setDelegate(this);
  // Every appearance shows the member afresh: no pages left from the last time.
  resetPhotos();
  loadGongGuan();
}

void GongGuanZhaoPianViewController::getNextGongGuan(int step) {
  const auto count = static_cast<int64_t>(m_gongGuanListArray.size());
  if (step >= 1) {
    if (m_curPos >= count - 1) {
      setMsg(LastMemberMessage)->show();
      return;
    }
    ++m_curPos;
  } else if (step < 0) {
    if (m_curPos <= 0) {
      setMsg(FirstMemberMessage)->show();
      return;
    }
    --m_curPos;
  }
  resetPhotos();
  loadGongGuan();
}

void GongGuanZhaoPianViewController::resetPhotos() {
  ++m_loadNumber;  // whatever is still being read belongs to the member before
  m_loading = false;
  setPhotoHide(true);
  m_imageArray.clear();
  m_pageNames.clear();
  m_shelf->clear();
  m_currentIndex = 0;
  if (auto grid = m_gmGridView.lock()) {
    grid->setContentOffset({0, grid->contentOffset().y});
    grid->reloadData();
  }
  if (m_thumbnailPickerView) m_thumbnailPickerView->customForReload();
}

void GongGuanZhaoPianViewController::setPhotoHide(bool hide) {
  if (m_thumbnailPickerView) m_thumbnailPickerView->setHidden(hide);
  if (m_scrollView) m_scrollView->setHidden(hide);
}

void GongGuanZhaoPianViewController::loadGongGuan() {
  if (m_curPos < 0 || static_cast<size_t>(m_curPos) >= m_gongGuanListArray.size() ||
      !m_gongGuanListArray[static_cast<size_t>(m_curPos)])
    return;
  m_currentGongGuanObj = m_gongGuanListArray[static_cast<size_t>(m_curPos)];
  const GongGuanList& member = *m_currentGongGuanObj;
  if (m_lblYiMing) m_lblYiMing->setText(member.YiMing().value_or(""));

  const std::string state = member.State().value_or("");
  const std::string waiting = "等候(" + member.CallCount().value_or("") + ")";
  const auto show = [this](const std::string& text, const char* title, bool shown) {
    if (m_lblZhuangTai) m_lblZhuangTai->setText(text);
    if (m_btnHuJiao) {
      m_btnHuJiao->setTitle(std::string(title));
      m_btnHuJiao->setHidden(!shown);
    }
  };
  if (state == "0") show("空闲", "呼叫", true);
  else if (state == "1") show("繁忙", "商务预约", false);
  else if (state == "2") show(waiting, "继续呼叫", true);
  else if (state == "3") show(waiting, "取消呼叫", true);

  if (m_binDing) m_binDing->setLogXMLInOut(true);

  removeOverlay();
  m_HUD = ProgressOverlay::initWithView(view().get());
  m_HUD->setLabelText(std::string(LoadingText));
  view()->addSubview(m_HUD);
  m_HUD->show(true);
  getImageName();
}

void GongGuanZhaoPianViewController::removeOverlay() {
  if (m_HUD) m_HUD->removeFromSuperview();
  m_HUD.reset();
}

void GongGuanZhaoPianViewController::getImageName() {
  const uint64_t number = ++m_loadNumber;
  m_loading = true;
  const std::string id = m_currentGongGuanObj->DangAnID().value_or("");
  const std::optional<net::URL> namesUrl = URLQX::getGongGuanPhotoNamesUrl(id);
  // The reads block for up to 10 s each: they run on a global queue, and each result goes to
  // the main queue in turn, where it counts only while this load is the screen's current one.
  const auto onMain = [weak = weak_from_this(), number](std::function<void(Screen&)> apply) {
    core::Queue::main()->async([weak, number, apply = std::move(apply)] {
      auto alive = std::dynamic_pointer_cast<Screen>(weak.lock());
      if (alive && alive->m_loadNumber == number) apply(*alive);
    });
  };
  core::Queue::global()->async([id, namesUrl, onMain] {
    const std::optional<std::string> names = URLQX::getHttpValue(namesUrl);
    if (!names || names->find("Error") != std::string::npos) {
      onMain([](Screen& s) { s.photoNamesMissing(); });
      return;
    }
    const std::vector<std::string> all = splitPhotoNames(*names);
    onMain([all](Screen& s) { s.m_picNameAry = all; });
    for (const std::string& name : all) {
      if (!isPhotoName(name)) continue;
      // A time that cannot be read leaves the value empty ("time=").
      const std::string time = URLQX::getHttpValue(URLQX::getGongGuanPhotoModifyTimeUrl(id, name)).value_or("");
      onMain([photo = Photo{name, time}](Screen& s) { s.addPhoto(photo); });
    }
    onMain([](Screen& s) { s.photosLoaded(); });
  });
}

void GongGuanZhaoPianViewController::photoNamesMissing() {
  m_loading = false;
  setMsg("没找到 " + m_currentGongGuanObj->YiMing().value_or("") + " 相关照片")->show();
  removeOverlay();
}

void GongGuanZhaoPianViewController::addPhoto(const Photo& photo) {
  auto imageView = ui::ImageView::create();
  const size_t page = m_imageArray.size();
  m_imageArray.push_back(imageView);
  m_pageNames.push_back(photo.name);
  m_shelf->append();
  const uint64_t number = m_loadNumber;
  const std::string id = m_currentGongGuanObj->DangAnID().value_or("");
  ICWebImageViewCompletion arrived = [weak = weak_from_this(), page, number](ImagePtr image,
                                                                            std::optional<core::Error>,
                                                                            ICImageCacheSource, std::optional<net::URL>) {
    auto alive = std::dynamic_pointer_cast<Screen>(weak.lock());
    if (!alive || alive->m_loadNumber != number) return;
    alive->m_shelf->setImage(page, std::move(image));
    // A photo that comes after the strip last asked shows in its thumbnail too.
    if (alive->m_thumbnailPickerView) alive->m_thumbnailPickerView->reloadThumbnailAtIndex(page);
  };
  ImageViewWebCache::ic_setImageWithURL(imageView, URLQX::getGongGuanPhotoUrl(id, photo.name, photo.time), ImagePtr(),
                                        ICWebImageLoadRetryFailed, std::move(arrived));
}

void GongGuanZhaoPianViewController::photosLoaded() {
  m_loading = false;
  removeOverlay();
  if (auto grid = m_gmGridView.lock()) grid->reloadData();
  if (m_thumbnailPickerView) {
    m_thumbnailPickerView->setSelectedIndex(0, true);
    m_thumbnailPickerView->reloadData();
  }
  if (m_thumbTimer) m_thumbTimer->invalidate();
  m_thumbTimer = core::Timer::scheduled(ThumbReloadDelay, false, [weak = weak_from_this()](core::Timer&) {
    if (auto alive = std::dynamic_pointer_cast<Screen>(weak.lock())) alive->reLoadThumb();
  });
  setPhotoHide(false);
  if (m_currentState == VedioState) sendVideo();
  if (m_currentState == PicState) sendPic();
}

void GongGuanZhaoPianViewController::reLoadThumb() {
  if (m_thumbnailPickerView) m_thumbnailPickerView->reloadData();
}

// ---- Strip and pages ----

double GongGuanZhaoPianViewController::pageWidth() const {
  if (m_defaultW > 0) return m_defaultW;
  auto grid = m_gmGridView.lock();
  return grid ? grid->frame().width() : 0;
}

void GongGuanZhaoPianViewController::didSelectImageWithIndex(ThumbStripView&, uint64_t index) {
  if (index >= m_imageArray.size()) return;
  m_currentIndex = static_cast<int32_t>(index);
  if (auto grid = m_gmGridView.lock())
    grid->setContentOffset({pageWidth() * static_cast<double>(index), grid->contentOffset().y});
  if (m_currentState == PicState) sendPic();
}

void GongGuanZhaoPianViewController::scrollViewDidScroll(ui::ScrollView& scrollView) {
  if (m_defaultW <= 0) m_defaultW = scrollView.frame().width();
  const double w = m_defaultW;
  const auto index = static_cast<int32_t>(std::floor((scrollView.contentOffset().x - w / 2) / w) + 1);
  if (index == m_currentIndex) return;
  m_currentIndex = index;
  if (index >= 0) selectPage(static_cast<uint64_t>(index));
  if (m_currentState == PicState) sendPic();
}

void GongGuanZhaoPianViewController::selectPage(uint64_t index) {
  if (!m_thumbnailPickerView) return;
  m_thumbnailPickerView->setSelectedIndex(index, true);
  m_thumbnailPickerView->reloadData();
}

int64_t GongGuanZhaoPianViewController::numberOfItemsInGridView(GridView&) {
  return static_cast<int64_t>(m_imageArray.size());
}

gfx::Size GongGuanZhaoPianViewController::sizeForItemsInInterfaceOrientation(GridView&, ui::InterfaceOrientation) {
  return {ItemWidth, ItemHeight};
}

std::shared_ptr<GridViewCell> GongGuanZhaoPianViewController::cellForItemAtIndex(GridView& grid, int64_t index) {
  std::shared_ptr<GridViewCell> cell = grid.dequeueReusableCell();
  if (!cell) cell = GridViewCell::create(m_scrollView ? m_scrollView->bounds() : gfx::Rect());
  if (index < 0 || static_cast<size_t>(index) >= m_imageArray.size()) return cell;
  const auto& imageView = m_imageArray[static_cast<size_t>(index)];
  // A reused cell gives up the photo of its last page.
  const auto subviews = cell->subviews();
  for (const auto& old : subviews)
    if (old->tag() == PhotoTag && old != imageView) old->removeFromSuperview();
  imageView->setUserInteractionEnabled(true);
  imageView->setFrame({18, 10, ItemWidth, ItemHeight});
  imageView->setBackgroundColor(gfx::Color::clear());
  imageView->layer()->setBorderColor(gfx::Color::whiteColor());
  imageView->layer()->setBorderWidth(3);
  imageView->layer()->setCornerRadius(5);
  imageView->layer()->setMasksToBounds(true);
  imageView->setTag(PhotoTag);
  imageView->setContentMode(ui::ContentMode::ScaleAspectFit);
  cell->addSubview(imageView);
  // One pinch per photo, on the photo itself: it zooms that photo.
  if (imageView->gestureRecognizers().empty()) {
    auto pinch = std::make_shared<ui::PinchGestureRecognizer>();
    pinch->addTarget(this, whileAlive(*this, [](Screen& s, ui::GestureRecognizer& r) { s.scaGesture(r); }));
    pinch->setDelegate(this);
    imageView->addGestureRecognizer(pinch);
    m_pinches.push_back(pinch);
  }
  return cell;
}

// ---- Gestures ----

void GongGuanZhaoPianViewController::scaGesture(ui::GestureRecognizer& recognizer) {
  auto* pinch = dynamic_cast<ui::PinchGestureRecognizer*>(&recognizer);
  ui::View* target = recognizer.view();
  if (!pinch || !target) return;
  view()->bringSubviewToFront(target);
  if (recognizer.state() == ui::GestureRecognizerState::Ended) {
    m_lastScale = 1;
    return;
  }
  const double f = 1 - (m_lastScale - pinch->scale());
  target->setTransform(target->transform().scaled(f, f));
  m_lastScale = pinch->scale();
}

bool GongGuanZhaoPianViewController::shouldRecognizeSimultaneouslyWithGestureRecognizer(ui::GestureRecognizer& recognizer,
                                                                                        ui::GestureRecognizer&) {
  return dynamic_cast<ui::PanGestureRecognizer*>(&recognizer) == nullptr;
}

void GongGuanZhaoPianViewController::upAndDownAction(ui::GestureRecognizer& recognizer) {
  auto* pan = dynamic_cast<ui::PanGestureRecognizer*>(&recognizer);
  if (!pan || !m_scrollView) return;
  const int t = static_cast<int>(pan->translationInView(view().get()).y);
  gfx::Rect frame = m_scrollView->frame();
  frame.origin.y = m_defaultY + t;
  m_scrollView->setFrame(frame);
  if (recognizer.state() != ui::GestureRecognizerState::Ended) return;
  m_endY = m_scrollView->frame().y();
  ui::View::animate(
      0.2, 0, ui::AnimationLayoutSubviews,
      [area = m_scrollView, y = m_defaultY] {
        gfx::Rect back = area->frame();
        back.origin.y = y;
        area->setFrame(back);
      },
      whileAlive(*this, [t](Screen& s, bool finished) {
        if (!finished || std::fabs(static_cast<float>(s.m_endY - s.m_defaultY)) <= s.m_defaultH * 0.125) return;
        if (t < 1) {
          if (s.m_currentState == VedioState) {
            s.closeVideo();
            s.m_SegmentedControl->setSelectedSegmentIndex(0);
          }
          s.sendPic();
          s.m_currentState = PicState;
        } else {
          s.closeVideo();
          s.m_SegmentedControl->setSelectedSegmentIndex(0);
          s.closePic();
          s.m_currentState = NullState;
        }
      }));
}

// ---- Picture and video ----

void GongGuanZhaoPianViewController::vedioSwitchAction() {
  const int segment = m_SegmentedControl->selectedSegmentIndex();
  if (segment == 1) {
    if (m_currentState == PicState) closePic();
    sendVideo();
    m_currentState = VedioState;
  } else if (segment == 0) {
    closeVideo();
    m_currentState = NullState;
  }
}

void GongGuanZhaoPianViewController::sendPic() {
  if (m_currentIndex < 0 || static_cast<size_t>(m_currentIndex) >= m_pageNames.size() || !m_currentGongGuanObj)
    return;
  // The picture is sent as an address on the venue web server: none to another port.
  const std::string portText = defaultText("webService_Port");
  const std::optional<uint16_t> port = net::tcpPort(portText);
  if (!port) {
    core::logLine("发送图片失败: the setting webService_Port (" + portText + ") is not a port from " +
                  net::kTcpPortRange);
    return;
  }
  const std::string url = "http://" + m_serverIP + ":" + std::to_string(*port) + "/GetPhoto.aspx?Flag=12&id=" +
                          m_currentGongGuanObj->DangAnID().value_or("") + "/" +
                          m_pageNames[static_cast<size_t>(m_currentIndex)];
  core::logLine("发送图片:" + net::escapeForURL(url));
}

void GongGuanZhaoPianViewController::closePic() { core::logLine("关闭图片"); }

void GongGuanZhaoPianViewController::sendVideo() {
  const std::string id = m_currentGongGuanObj ? m_currentGongGuanObj->DangAnID().value_or("") : "";
  core::logLine("发送视频:\\\\" + defaultText("VedioIP") + "\\" + defaultText("VedioName") + "\\" + id + ".mpg");
}

void GongGuanZhaoPianViewController::closeVideo() { core::logLine("关闭视频"); }

void GongGuanZhaoPianViewController::backAction() {
  DataCenter::sharedInstance().setGongGuanPos(m_curPos);
  if (m_currentState == VedioState) closeVideo();
  if (m_currentState == PicState) closePic();
  m_currentState = NullState;
  dismissViewControllerAnimated(true);
}

// ---- Calls ----

void GongGuanZhaoPianViewController::callOrCancel() {
  if (!m_btnHuJiao || !m_currentGongGuanObj) return;
  const std::string title = m_btnHuJiao->titleForState(ui::ControlStateNormal).value_or("");
  if (title == "呼叫" || title == "继续呼叫") {
    RoomRequests::send(RoomRequests::gongGuanHuJiao(m_currentGongGuanObj->DangAnID()));
  } else if (title == "取消呼叫") {
    // A cancel of this member's call still out (from here or the staff grid): a second one
    // would be refused, and the refusal shown, though the first one went through.
    if (PendingStaffRequests::shared().isOut(MsgCancelGongGuanHuJiao, m_currentGongGuanObj->DangAnID())) return;
    auto alert = ui::AlertView::create("提示", CancelQuestion, this, std::string("取消"), {"确定"});
    alert->setTag(CancelAlertTag);
    m_cancelAlert = alert;
    alert->show();
  }
}

void GongGuanZhaoPianViewController::clickedButtonAtIndex(ui::AlertView& alertView, int buttonIndex) {
  if (alertView.tag() != CancelAlertTag || buttonIndex != 1 || !m_currentGongGuanObj) return;
  PendingStaffRequests& pending = PendingStaffRequests::shared();
  if (pending.isOut(MsgCancelGongGuanHuJiao, m_currentGongGuanObj->DangAnID())) return;
  pending.send(RoomRequests::cancelGongGuanHuJiao(m_currentGongGuanObj->DangAnID()), m_currentGongGuanObj->DangAnID());
}

}  // namespace kt
