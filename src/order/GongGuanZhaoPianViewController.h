#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/SocketDataHandle.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"
#include "widgets/controls/GridViewDelegates.h"
#include "widgets/controls/ThumbStripView.h"

namespace core {
class Timer;
}
namespace gfx {
class Image;
}
namespace ui {
class Button;
class ImageView;
class PanGestureRecognizer;
class SegmentedControl;
}  // namespace ui

namespace kt {

class EffectLabel;
class GongGuanList;
class GridView;
class ProgressOverlay;
class WebServiceBinding;

// The photos of the member shown, as the thumbnail strip reads them from its background queue:
// one image handle per photo page, guarded by a lock. The main thread fills it as the photos
// arrive; nothing here touches a view.
class StaffPhotoShelf : public ThumbStripViewDataSource {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;

  void clear();
  // A new page without its photo yet.
  void append();
  // The photo of a page; ignored for a page that is not there.
  void setImage(size_t page, ImagePtr image);
  size_t count() const;
  ImagePtr image(size_t page) const;

  uint64_t numberOfImagesForThumbStripView(ThumbStripView& picker) override;
  // Waits 10 ms, then answers the page's photo (none while it loads, or past the last page).
  std::shared_ptr<const gfx::Image> imageAtIndex(ThumbStripView& picker, uint64_t index) override;

 private:
  mutable std::mutex m_mutex;
  std::vector<ImagePtr> m_images;
};

// The staff photo screen: the photos of one member of the staff list, one large photo per page
// with a thumbnail strip under it; previous and next member, pinch zoom, call or cancel a call for
// the member shown, and the picture/video state (its sends only write log lines). The photo list
// and each photo's time are read off the main thread while "图片加载中...." covers the screen;
// their results are applied on the main thread in order, and a member stepped away from, or a
// closed screen, takes none of them. While a cancel of the member's call is out, from here or the
// staff grid (PendingStaffRequests), the cancel asks and sends nothing. Closes itself by dismissal.
class GongGuanZhaoPianViewController : public ui::ViewController,
                                       public SocketDataHandleDelegate,
                                       public GridViewDataSource,
                                       public ThumbStripViewDelegate,
                                       private ui::ScrollViewDelegate,
                                       private ui::GestureRecognizerDelegate,
                                       private ui::AlertViewDelegate {
 public:
  // The staff grid's segue to this screen.
  static constexpr const char* ShowSegue = "showGongGuanZhaoPian";
  static constexpr const char* NullState = "null_State";
  static constexpr const char* PicState = "pic_State";
  static constexpr const char* VedioState = "vedio_State";
  static constexpr const char* LoadingText = "图片加载中....";
  static constexpr const char* LastMemberMessage = "已经是最后一位了!";
  static constexpr const char* FirstMemberMessage = "已经是第一位了!";
  static constexpr const char* CancelQuestion = "确认取消呼叫？";
  static constexpr int CancelAlertTag = 12;
  static constexpr int PhotoTag = 66;
  static constexpr double ItemWidth = 928;
  static constexpr double ItemHeight = 576;
  // The one-shot reload of the strip after the photos were laid out.
  static constexpr double ThumbReloadDelay = 2.0;

  GongGuanZhaoPianViewController();
  ~GongGuanZhaoPianViewController() override;

  // The venue's list of a member's photo files: the names between commas, empty ones included.
  static std::vector<std::string> splitPhotoNames(const std::string& text);
  // Whether a file is a photo page: its extension is "jpg" or "png" exactly as written.
  static bool isPhotoName(const std::string& name);

  // Handed over by the staff grid.
  const GongGuanListArray& gongGuanListArray() const { return m_gongGuanListArray; }
  void setGongGuanListArray(GongGuanListArray list) { m_gongGuanListArray = std::move(list); }
  int32_t curPos() const { return m_curPos; }
  void setCurPos(int32_t position) { m_curPos = position; }
  const std::shared_ptr<GongGuanList>& currentGongGuanObj() const { return m_currentGongGuanObj; }
  void setCurrentGongGuanObj(std::shared_ptr<GongGuanList> member) { m_currentGongGuanObj = std::move(member); }
  // Kept for the scene; nothing of the screen reads them.
  std::vector<std::string>& urlArry() { return m_urlArry; }
  void setUrlArry(std::vector<std::string> urls) { m_urlArry = std::move(urls); }
  const std::shared_ptr<ui::GestureRecognizer>& leftSwipeGestureRecognizer() const {
    return m_leftSwipeGestureRecognizer;
  }
  void setLeftSwipeGestureRecognizer(std::shared_ptr<ui::GestureRecognizer> recognizer) {
    m_leftSwipeGestureRecognizer = std::move(recognizer);
  }
  const std::shared_ptr<ui::GestureRecognizer>& rightSwipeGestureRecognizer() const {
    return m_rightSwipeGestureRecognizer;
  }
  void setRightSwipeGestureRecognizer(std::shared_ptr<ui::GestureRecognizer> recognizer) {
    m_rightSwipeGestureRecognizer = std::move(recognizer);
  }

  void viewDidLoad() override;
  void viewDidUnload() override;
  void viewDidAppear(bool animated) override;

  // Steps to another member: positive = next, negative = previous.
  void getNextGongGuan(int step);
  void preGongGuan() { getNextGongGuan(-1); }
  void nextGongGuan() { getNextGongGuan(1); }
  // Shows member curPos and loads its photos.
  void loadGongGuan();
  void setPhotoHide(bool hide);
  void reLoadThumb();
  void callOrCancel();
  void vedioSwitchAction();
  void backAction();
  void upAndDownAction(ui::GestureRecognizer& recognizer);
  void scaGesture(ui::GestureRecognizer& recognizer);

  void didSelectImageWithIndex(ThumbStripView& picker, uint64_t index) override;

  int64_t numberOfItemsInGridView(GridView& grid) override;
  gfx::Size sizeForItemsInInterfaceOrientation(GridView& grid, ui::InterfaceOrientation orientation) override;
  std::shared_ptr<GridViewCell> cellForItemAtIndex(GridView& grid, int64_t index) override;

  // ---- Scene parts and state (for tests) ----
  ui::ScrollView* scrollView() const { return m_scrollView.get(); }
  // The strip's backdrop; only dropped on unload.
  ui::ScrollView* smallScrollView() const { return m_smallScrollView.get(); }
  std::shared_ptr<GridView> gmGridView() const { return m_gmGridView.lock(); }
  ThumbStripView* thumbnailPickerView() const { return m_thumbnailPickerView.get(); }
  EffectLabel* lblYiMing() const { return m_lblYiMing.get(); }
  EffectLabel* lblZhuangTai() const { return m_lblZhuangTai.get(); }
  ui::Button* btnHuJiao() const { return m_btnHuJiao.get(); }
  ui::Button* btnPre() const { return m_btnPre.get(); }
  ui::Button* btnNext() const { return m_btnNext.get(); }
  ui::Button* btnBack() const { return m_btnBack.get(); }
  ui::SegmentedControl* segmentedControl() const { return m_SegmentedControl.get(); }
  ui::PanGestureRecognizer* panGesture() const { return m_panGesture.get(); }
  const std::vector<std::shared_ptr<ui::ImageView>>& imageArray() const { return m_imageArray; }
  const std::vector<std::string>& picNameAry() const { return m_picNameAry; }
  int32_t currentIndex() const { return m_currentIndex; }
  const std::string& currentState() const { return m_currentState; }
  const std::shared_ptr<ProgressOverlay>& HUD() const { return m_HUD; }
  const std::shared_ptr<WebServiceBinding>& binDing() const { return m_binDing; }
  const std::shared_ptr<StaffPhotoShelf>& photoShelf() const { return m_shelf; }
  // Whether a member's photo list is still being read.
  bool isLoading() const { return m_loading; }

 private:
  // Lets the vertical drag run alongside the paging of the photos under it.
  struct DragGate : ui::GestureRecognizerDelegate {
    bool shouldRecognizeSimultaneouslyWithGestureRecognizer(ui::GestureRecognizer&, ui::GestureRecognizer&) override {
      return true;
    }
  };
  struct Photo {
    std::string name;
    std::string time;
  };

  void scrollViewDidScroll(ui::ScrollView& scrollView) override;
  bool shouldRecognizeSimultaneouslyWithGestureRecognizer(ui::GestureRecognizer& recognizer,
                                                          ui::GestureRecognizer& other) override;
  void clickedButtonAtIndex(ui::AlertView& alertView, int buttonIndex) override;

  void buildScene();
  // Starts reading the photo list of the member shown off the main thread.
  void getImageName();
  // The results of that read, on the main thread.
  void photoNamesMissing();
  void addPhoto(const Photo& photo);
  void photosLoaded();
  void removeOverlay();
  // Back to no photos: the strip and the photo area hidden, first page, strip emptied.
  void resetPhotos();
  void selectPage(uint64_t index);
  double pageWidth() const;

  void sendPic();
  void closePic();
  void sendVideo();
  void closeVideo();

  GongGuanListArray m_gongGuanListArray;
  int32_t m_curPos = 0;
  std::shared_ptr<GongGuanList> m_currentGongGuanObj;

  std::shared_ptr<ui::ScrollView> m_scrollView;
  std::shared_ptr<ui::ScrollView> m_smallScrollView;
  std::weak_ptr<GridView> m_gmGridView;
  std::shared_ptr<ThumbStripView> m_thumbnailPickerView;
  std::shared_ptr<EffectLabel> m_lblYiMing;
  std::shared_ptr<EffectLabel> m_lblZhuangTai;
  std::shared_ptr<ui::Button> m_btnHuJiao;
  std::shared_ptr<ui::Button> m_btnPre;
  std::shared_ptr<ui::Button> m_btnNext;
  std::shared_ptr<ui::Button> m_btnBack;
  std::shared_ptr<ui::SegmentedControl> m_SegmentedControl;
  std::shared_ptr<ui::PanGestureRecognizer> m_panGesture;
  DragGate m_dragGate;
  std::vector<std::weak_ptr<ui::GestureRecognizer>> m_pinches;

  std::vector<std::string> m_picNameAry;
  // The names of the photo pages, page by page (the names kept from picNameAry).
  std::vector<std::string> m_pageNames;
  std::vector<std::shared_ptr<ui::ImageView>> m_imageArray;
  std::shared_ptr<StaffPhotoShelf> m_shelf = std::make_shared<StaffPhotoShelf>();
  int32_t m_currentIndex = 0;
  std::string m_currentState = NullState;
  double m_defaultY = 0;
  double m_defaultH = 0;
  double m_endY = 0;
  double m_defaultW = 0;
  double m_lastScale = 1;
  std::shared_ptr<ProgressOverlay> m_HUD;
  std::string m_serverIP;
  std::string m_webUrl;
  std::shared_ptr<WebServiceBinding> m_binDing;
  std::vector<std::string> m_urlArry;
  std::shared_ptr<ui::GestureRecognizer> m_leftSwipeGestureRecognizer;
  std::shared_ptr<ui::GestureRecognizer> m_rightSwipeGestureRecognizer;

  // Each member load has its number; results of an older one are dropped.
  uint64_t m_loadNumber = 0;
  bool m_loading = false;
  std::shared_ptr<core::Timer> m_thumbTimer;
  std::weak_ptr<ui::AlertView> m_cancelAlert;
};

}  // namespace kt
