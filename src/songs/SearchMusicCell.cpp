#include "songs/SearchMusicCell.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudReply.h"
#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<SearchMusicCell> SearchMusicCell::create(ui::TableViewCellStyle style,
                                                         const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<SearchMusicCell>(style, reuseIdentifier);
}

SearchMusicCell::SearchMusicCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
}

SearchMusicCell::~SearchMusicCell() = default;

std::shared_ptr<SearchMusicCell> SearchMusicCell::dequeue(ui::TableView& table, SearchMusicDelegate* delegate,
                                                          const char* normalPicture, const char* highlightedPicture) {
  if (auto cell = std::dynamic_pointer_cast<SearchMusicCell>(table.dequeueReusableCellWithIdentifier(ReuseIdentifier)))
    return cell;
  auto cell = create();
  cell->setDelegate(delegate);
  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  cell->btn_play()->setBackgroundImage(gfx::Image::named(normalPicture), ui::ControlStateNormal);
  cell->btn_play()->setBackgroundImage(gfx::Image::named(highlightedPicture), ui::ControlStateHighlighted);
  return cell;
}

double SearchMusicCell::rowHeight() { return pick(102, 136); }

void SearchMusicCell::setupMyCell() {
  m_labelMusicName =
      SongCellParts::addLabel(*this, {31, 20, 586, 31}, {41, 26, 781, 41}, "dfebff", APPFont::getSysFont_size40());
  m_labelSingerName =
      SongCellParts::addLabel(*this, {31, 55, 586, 30}, {41, 73, 781, 40}, "475686", APPFont::getSysFont_size36());
  m_btnPlay = SongCellParts::addButton(*this, {912, 26, 80, 40}, {1215, 34, 106, 53}, [](ui::TableViewCell& cell) {
    static_cast<SearchMusicCell&>(cell).playClick();
  });
  SongCellParts::addPicture(*this, {0, 100, 1024, 2}, {0, 133, 1364, 2}, "SeparateLine2");
}

void SearchMusicCell::playClick() {
  if (SearchMusicDelegate* delegate = m_delegate.get()) delegate->didSelectTheIndexOfSongs(m_numOfSongs);
}

void SearchMusicCell::setCellWithModel(const ChooseMusicModel& model) {
  m_labelMusicName->setText(model.string_musicName());
  m_labelSingerName->setText(CloudReply::firstName(model.string_musicSinger()));
}

}  // namespace kt
