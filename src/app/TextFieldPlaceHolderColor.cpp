#include "app/TextFieldPlaceHolderColor.h"

#include "platform/ui/TextField.h"

namespace kt {

void setPlaceholderColorWith(ui::TextField& field, const gfx::Color& color) { field.setPlaceholderColor(color); }

}  // namespace kt
