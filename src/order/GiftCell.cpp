#include "order/GiftCell.h"

#include "app/APPFont.h"
#include "imagecache/ImageViewWebCache.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/SongCellParts.h"

namespace kt {

namespace {

using SongCellParts::addLabel;
using SongCellParts::addPicture;

// The "%@" text of a dictionary value; a missing one shows as nothing.
std::string shown(const core::Value& value) { return value.isNull() ? std::string() : value.description(); }

}  // namespace

std::shared_ptr<GiftCell> GiftCell::create(const gfx::Rect& frame) {
  auto cell = std::make_shared<GiftCell>(frame);
  cell->setupMyCell();
  return cell;
}

GiftCell::GiftCell(const gfx::Rect& frame) : ui::CollectionViewCell(frame) { setBackgroundColor(gfx::Color::clear()); }

GiftCell::~GiftCell() = default;

void GiftCell::setupMyCell() {
  m_imgV_selected = addPicture(*this, {0, 0, 256, 278}, {0, 0, 341, 370}, "Gift_selected");
  m_imgV_selected->setHidden(true);
  addPicture(*this, {255, 0, 1, 278}, {339, 0, 1, 370}, "GiftSeparateLineV");
  addPicture(*this, {0, 277, 768, 1}, {0, 369, 1023, 1}, "GiftSeparateLineH");
  m_imgV_photo = addPicture(*this, {60, 45, 136, 144}, {79, 60, 181, 192}, "Gift_1");
  m_label_name = addLabel(*this, {0, 209, 256, 30}, {0, 278, 341, 40}, "dfebff", APPFont::getSysFont_size34());
  m_label_name->setTextAlignment(gfx::TextAlignment::Center);
  m_label_price = addLabel(*this, {0, 244, 256, 20}, {0, 325, 341, 26}, "5779f9", APPFont::getSysFont_size32());
  m_label_price->setTextAlignment(gfx::TextAlignment::Center);
}

void GiftCell::assignMyCell(const core::Value& gift) {
  m_label_name->setText(shown(gift["giftName"]));
  m_label_price->setText("\xEF\xBF\xA5:" + shown(gift["giftPrice"]));  // full-width yen sign
  const core::Value& address = gift["giftUrl"];
  const std::optional<net::URL> url = address.isNull() ? std::nullopt : net::URL::fromString(shown(address));
  // No placeholder: the picture is empty until the gift's picture arrives.
  ImageViewWebCache::ic_setImageWithURL(m_imgV_photo, url, ImagePtr());
}

}  // namespace kt
