#pragma once

#include <memory>
#include <string>

#include "platform/core/WeakPtr.h"
#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace ui {

class ImageView;
class Label;
class TableViewCellContentView;

// Numbered as the platform numbered them.
enum class TableViewCellStyle { Default = 0, Value1 = 1, Value2 = 2, Subtitle = 3 };
enum class TableViewCellSelectionStyle { None = 0, Blue = 1, Gray = 2, Default = 3 };
enum class TableViewCellAccessoryType { None = 0, DisclosureIndicator = 1, DetailDisclosureButton = 2, Checkmark = 3, DetailButton = 4 };
enum class TableViewCellEditingStyle { None = 0, Delete = 1, Insert = 2 };

// One row of a table view. Everything the row shows goes into contentView, which the cell places
// beside the accessory (and indents while editing). The text labels and the image view of the
// standard styles are made on first use. Behind the content lie the background view and, while
// the cell is selected or highlighted, the selected background view (made from the selection
// style unless set). A separator line is drawn at the bottom as the table says.
class TableViewCell : public View {
 public:
  static std::shared_ptr<TableViewCell> create(TableViewCellStyle style = TableViewCellStyle::Default,
                                               const std::string& reuseIdentifier = "") {
    return std::make_shared<TableViewCell>(style, reuseIdentifier);
  }
  TableViewCell(TableViewCellStyle style, const std::string& reuseIdentifier);
  ~TableViewCell() override;

  TableViewCellStyle style() const { return m_style; }
  const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
  // Called when the table hands the cell out again from its reuse pool: resets the selection,
  // highlight and editing state. Subclasses reset their own content and call this.
  virtual void prepareForReuse();

  const std::shared_ptr<View>& contentView() const { return m_contentView; }
  std::shared_ptr<Label> textLabel();
  // Null for the default style, which has no detail text.
  std::shared_ptr<Label> detailTextLabel();
  std::shared_ptr<ImageView> imageView();

  const std::shared_ptr<View>& backgroundView() const { return m_backgroundView; }
  void setBackgroundView(std::shared_ptr<View> view);
  // Made from the selection style on first use unless set.
  std::shared_ptr<View> selectedBackgroundView();
  void setSelectedBackgroundView(std::shared_ptr<View> view);

  TableViewCellSelectionStyle selectionStyle() const { return m_selectionStyle; }
  void setSelectionStyle(TableViewCellSelectionStyle style);
  TableViewCellAccessoryType accessoryType() const { return m_accessoryType; }
  void setAccessoryType(TableViewCellAccessoryType type);
  // Shown instead of the accessory type when set.
  const std::shared_ptr<View>& accessoryView() const { return m_accessoryView; }
  void setAccessoryView(std::shared_ptr<View> view);

  bool isSelected() const { return m_selected; }
  void setSelected(bool selected) { setSelected(selected, false); }
  virtual void setSelected(bool selected, bool animated);
  bool isHighlighted() const { return m_highlighted; }
  void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }
  virtual void setHighlighted(bool highlighted, bool animated);

  bool isEditing() const { return m_editing; }
  void setEditing(bool editing) { setEditing(editing, false); }
  virtual void setEditing(bool editing, bool animated);
  // What the editing control offers; the table sets it from its delegate.
  TableViewCellEditingStyle editingStyle() const { return m_editingStyle; }
  void setEditingStyle(TableViewCellEditingStyle style);
  // The width the content moves right by while editing with a control.
  static constexpr double EditingIndent = 38;

  // The separator line at the bottom, as the table configures it.
  bool showsSeparator() const { return m_showsSeparator; }
  gfx::Color separatorColor() const { return m_separatorColor; }
  double separatorLeftInset() const { return m_separatorInset; }
  void setSeparator(bool shown, const gfx::Color& color, double leftInset);
  const std::shared_ptr<View>& separatorView() const { return m_separator; }

  // The area of the accessory (empty when there is none), in the cell's coordinates.
  gfx::Rect accessoryFrame() const;

  void layoutSubviews() override;

 private:
  friend class TableView;
  friend class TableViewCellContentView;
  void setReuseIdentifier(const std::string& id) { m_reuseIdentifier = id; }
  void updateSelectionLook(bool animated);
  void layoutStandardViews();
  std::shared_ptr<View> effectiveAccessory();
  void insertBehindContent(const std::shared_ptr<View>& view);

  TableViewCellStyle m_style = TableViewCellStyle::Default;
  std::string m_reuseIdentifier;
  std::shared_ptr<View> m_contentView;
  std::shared_ptr<Label> m_textLabel;
  std::shared_ptr<Label> m_detailTextLabel;
  std::shared_ptr<ImageView> m_imageView;
  std::shared_ptr<View> m_backgroundView;
  std::shared_ptr<View> m_selectedBackgroundView;
  bool m_defaultSelectedBackground = false;  // made by the cell from the selection style
  std::shared_ptr<View> m_accessoryView;
  std::shared_ptr<View> m_builtInAccessory;  // drawn for the accessory type
  std::shared_ptr<View> m_editingControl;
  std::shared_ptr<View> m_separator;
  TableViewCellSelectionStyle m_selectionStyle = TableViewCellSelectionStyle::Default;
  TableViewCellAccessoryType m_accessoryType = TableViewCellAccessoryType::None;
  TableViewCellEditingStyle m_editingStyle = TableViewCellEditingStyle::Delete;
  bool m_selected = false;
  bool m_highlighted = false;
  bool m_editing = false;
  bool m_showsSeparator = false;
  gfx::Color m_separatorColor = gfx::Color(0.78, 0.78, 0.8);
  double m_separatorInset = 15;
  // The content view (kept by whoever holds it) asks the cell for layout while the cell lives.
  core::WeakPtrFactory<TableViewCell> m_weakFactory{this};
};

}  // namespace ui
