#include "order/SangWuYuYuePopViewController.h"

#include "app/ColorHexadecimal.h"
#include "app/URLQX.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/ImageViewWebCache.h"
#include "link/GongGuanCurState.h"
#include "link/GongGuanList.h"
#include "link/RoomRequests.h"
#include "order/OrderParsing.h"
#include "order/OrderScenery.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt {

namespace {

constexpr double kHeadWidth = 135;
constexpr double kHeadHeight = 169;

// A slot's value and its reservation id, by slot (0 to 2).
Text slotValue(const GongGuanCurState& state, int slot) {
  switch (slot) {
    case 0: return state.XiaBanQianJianMian();
    case 1: return state.MingRiXiaWuCha();
    default: return state.MingRiZhiJieDingFang();
  }
}

Text slotId(const GongGuanCurState& state, int slot) {
  switch (slot) {
    case 0: return state.XiaBanQianJianMian_ID();
    case 1: return state.MingRiXiaWuCha_ID();
    default: return state.MingRiZhiJieDingFang_ID();
  }
}

constexpr const char* kKinds[SangWuYuYuePopViewController::SlotCount] = {"0", "1", "2"};
constexpr const char* kCaptions[SangWuYuYuePopViewController::SlotCount] = {"下班前见面", "明日下午茶",
                                                                             "明日直接订房"};

std::shared_ptr<ui::Label> label(ui::View& parent, const gfx::Rect& frame, double size, const char* hex) {
  auto l = ui::Label::create(frame);
  l->setFont(gfx::Font::boldSystemFont(size));
  l->setTextColor(ColorHexadecimal::colorWithHexString(hex).value_or(gfx::Color::whiteColor()));
  l->setBackgroundColor(gfx::Color::clear());
  parent.addSubview(l);
  return l;
}

}  // namespace

SangWuYuYuePopViewController::SangWuYuYuePopViewController() {
  shouldAutorotateToInterfaceOrientation = OrderScenery::landscapeOnly;
  socketDataHandleDidGongGuanCurState = [this](std::shared_ptr<GongGuanCurState> state) {
    didCurState(std::move(state));
  };
  // Success or not, the view shows the server's answer after an action.
  socketDataHandleDidGongGuanYuYue = [this](bool) { createGongGuanCurState(); };
  socketDataHandleDidCancelGongGuanYuYue = [this](bool) { createGongGuanCurState(); };
}

SangWuYuYuePopViewController::~SangWuYuYuePopViewController() = default;

void SangWuYuYuePopViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  buildScene();
  SocketDataHandle::sharedInstance().setDelegate(this);
  createHeadPhoto();
  createGongGuanCurState();
}

void SangWuYuYuePopViewController::buildScene() {
  ui::View& root = *view();
  root.setBackgroundColor(ColorHexadecimal::colorWithHexString("10141d"));
  m_headPhoto = ui::ImageView::create(gfx::Rect{18, 18, 108, 135});
  m_headPhoto->setBackgroundColor(ColorHexadecimal::colorWithHexString("232c3f"));
  m_headPhoto->setContentMode(ui::ContentMode::ScaleAspectFill);
  m_headPhoto->setClipsToBounds(true);
  m_headPhoto->layer()->setCornerRadius(6);
  root.addSubview(m_headPhoto);
  m_nameLbl = label(root, {140, 40, 164, 32}, 24, "ffffff");
  m_stateLbl = label(root, {140, 86, 164, 26}, 18, "ffcc4d");

  const auto weak = weak_from_this();
  for (int slot = 0; slot < SlotCount; ++slot) {
    const double top = 176 + slot * 98;
    auto row = ui::View::create(gfx::Rect{12, top, 296, 86});
    row->setBackgroundColor(ColorHexadecimal::colorWithHexString("1c2333"));
    row->layer()->setCornerRadius(8);
    root.addSubview(row);
    label(*row, {12, 10, 160, 30}, 19, "dfebff")->setText(kCaptions[slot]);
    m_slotLabels[static_cast<size_t>(slot)] = label(*row, {12, 46, 150, 28}, 16, "9fb3d1");
    auto button = OrderScenery::button(*row, {170, 20, 114, 46}, "", "c8801e");
    button->setTag(FirstSlotTag + slot);
    button->setHidden(true);
    button->addTarget(this, [weak](ui::Control& sender, const ui::Event*) {
      if (auto alive = std::dynamic_pointer_cast<SangWuYuYuePopViewController>(weak.lock()))
        alive->onActionClicked(sender);
    }, ui::ControlEventTouchUpInside);
    m_slotButtons[static_cast<size_t>(slot)] = button;
  }
}

void SangWuYuYuePopViewController::createHeadPhoto() {
  if (!m_currentGongGuanObj || !m_headPhoto) return;
  ImageViewWebCache::ic_setImageWithURL(
      m_headPhoto,
      URLQX::getGongGuanHeadImageUrl(textOf(m_currentGongGuanObj->YuanGongBianHao()), kHeadWidth, kHeadHeight),
      nullptr, ICWebImageLoadRetryFailed);
}

void SangWuYuYuePopViewController::createGongGuanCurState() {
  if (!m_currentGongGuanObj) return;
  RoomRequests::send(RoomRequests::gongGuanCurState(m_currentGongGuanObj->DangAnID()));
}

void SangWuYuYuePopViewController::didCurState(std::shared_ptr<GongGuanCurState> state) {
  // After a refusal the decoder has shown the server's message; the view stays as it is.
  if (!state) return;
  m_gongGuanCurState = std::move(state);
  createMainView();
}

void SangWuYuYuePopViewController::createMainView() {
  if (m_currentGongGuanObj && m_nameLbl) m_nameLbl->setText(textOf(m_currentGongGuanObj->YiMing()));
  GongGuanCurState* state = m_gongGuanCurState.get();
  if (!state) return;
  if (m_stateLbl) {
    if (textIs(state->State(), "0")) {
      m_stateLbl->setText("空闲");
    } else if (textIs(state->State(), "1")) {
      m_stateLbl->setText("繁忙");
    } else {
      m_stateLbl->setText("等候(" + textOf(state->CallCount()) + ")");
    }
  }

  // A room booked for tomorrow excludes the other two kinds, and a reservation of one of the
  // first two excludes the others.
  if (!textIs(state->MingRiZhiJieDingFang(), "0")) {
    state->setXiaBanQianJianMian("1");
    state->setMingRiXiaWuCha("1");
  }
  if (textIs(state->XiaBanQianJianMian(), "2")) {
    state->setMingRiXiaWuCha("1");
    state->setMingRiZhiJieDingFang("1");
  }
  if (textIs(state->MingRiXiaWuCha(), "2")) {
    state->setXiaBanQianJianMian("1");
    state->setMingRiZhiJieDingFang("1");
  }

  for (int slot = 0; slot < SlotCount; ++slot) {
    const auto& slotLabel = m_slotLabels[static_cast<size_t>(slot)];
    const auto& button = m_slotButtons[static_cast<size_t>(slot)];
    if (!slotLabel || !button) continue;
    const Text value = slotValue(*state, slot);
    // Only the exact texts the buttons act on offer an action; anything else cannot be reserved
    // or cancelled from here.
    if (textIs(value, "0")) {
      slotLabel->setText("可预约");
      button->setTitle("我要预约");
      button->setHidden(false);
    } else if (textIs(value, "2")) {
      slotLabel->setText("我的预约");
      button->setTitle("取消预约");
      button->setHidden(false);
    } else {
      slotLabel->setText("不可预约");
      button->setHidden(true);
    }
  }
}

void SangWuYuYuePopViewController::onActionClicked(const ui::Control& sender) {
  const int slot = sender.tag() - FirstSlotTag;
  if (slot < 0 || slot >= SlotCount || !m_gongGuanCurState || !m_currentGongGuanObj) return;
  const Text value = slotValue(*m_gongGuanCurState, slot);
  if (textIs(value, "0")) {
    RoomRequests::send(RoomRequests::gongGuanYuYue(m_currentGongGuanObj->DangAnID(), kKinds[slot]));
  } else if (textIs(value, "2")) {
    RoomRequests::send(
        RoomRequests::cancelGongGuanYuYue(m_currentGongGuanObj->DangAnID(), slotId(*m_gongGuanCurState, slot)));
  }
}

}  // namespace kt
