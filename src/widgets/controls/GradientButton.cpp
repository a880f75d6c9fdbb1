#include "widgets/controls/GradientButton.h"

#include <cmath>

#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Context.h"

namespace kt {

namespace {

const char* const NormalColorsKey = "normalGradientColors";
const char* const NormalLocationsKey = "normalGradientLocations";
const char* const HighlightColorsKey = "highlightGradientColors";
const char* const HighlightLocationsKey = "highlightGradientLocations";

gfx::Color rgb(double r, double g, double b) { return gfx::Color(r, g, b, 1.0); }

// Whole number nearest to x, halves away from zero.
double nearest(double x) { return std::round(x); }

core::Value encodeColors(const GradientButton::ColorList& colors) {
  if (!colors) return core::Value();
  core::Value::Array list;
  for (const gfx::Color& c : *colors) list.emplace_back(core::Value::Array{c.r(), c.g(), c.b(), c.a()});
  return core::Value(std::move(list));
}

core::Value encodeLocations(const GradientButton::LocationList& locations) {
  if (!locations) return core::Value();
  core::Value::Array list;
  for (float l : *locations) list.emplace_back(static_cast<double>(l));
  return core::Value(std::move(list));
}

bool isNumber(const core::Value& v) {
  return v.type() == core::Value::Type::Real || v.type() == core::Value::Type::Integer;
}

// A list of [r, g, b, a] entries; nil when absent or when any entry is not four numbers.
GradientButton::ColorList decodeColors(const core::Value& value, const char* key) {
  const core::Value::Array* list = value.asArray();
  if (!list) return std::nullopt;
  std::vector<gfx::Color> colors;
  for (const core::Value& entry : *list) {
    const core::Value::Array* c = entry.asArray();
    if (!c || c->size() != 4 || !isNumber((*c)[0]) || !isNumber((*c)[1]) || !isNumber((*c)[2]) || !isNumber((*c)[3])) {
      core::logFormat("%s [Line %d] archived \"%s\" holds an entry that is not a colour; list dropped", __func__,
                       __LINE__, key);
      return std::nullopt;
    }
    colors.emplace_back((*c)[0].doubleValue(), (*c)[1].doubleValue(), (*c)[2].doubleValue(), (*c)[3].doubleValue());
  }
  return colors;
}

GradientButton::LocationList decodeLocations(const core::Value& value, const char* key) {
  const core::Value::Array* list = value.asArray();
  if (!list) return std::nullopt;
  std::vector<float> locations;
  for (const core::Value& entry : *list) {
    if (!isNumber(entry)) {
      core::logFormat("%s [Line %d] archived \"%s\" holds an entry that is not a number; list dropped", __func__,
                       __LINE__, key);
      return std::nullopt;
    }
    locations.push_back(entry.floatValue());
  }
  return locations;
}

}  // namespace

GradientButton::GradientButton(const gfx::Rect& frame) : ui::Button(ui::ButtonType::Custom, frame) {
  setOpaque(false);
  setBackgroundColor(gfx::Color::clear());
}

std::shared_ptr<GradientButton> GradientButton::initWithCoder(const core::Value& coder) {
  auto button = create();
  button->setNormalGradientColors(decodeColors(coder[NormalColorsKey], NormalColorsKey));
  button->setNormalGradientLocations(decodeLocations(coder[NormalLocationsKey], NormalLocationsKey));
  button->setHighlightGradientColors(decodeColors(coder[HighlightColorsKey], HighlightColorsKey));
  button->setHighlightGradientLocations(decodeLocations(coder[HighlightLocationsKey], HighlightLocationsKey));
  button->setStrokeColor(gfx::Color(0.076, 0.103, 0.195, 1.0));
  button->setStrokeWeight(1.0);
  if (!button->normalGradientColors()) button->useWhiteStyle();
  button->setOpaque(false);
  button->setBackgroundColor(gfx::Color(1.0, 1.0, 1.0, 0.0));
  return button;
}

core::Value GradientButton::encodeWithCoder() const {
  core::Value coder{core::Value::Dictionary{}};
  core::Value::Dictionary lists{
      {NormalColorsKey, encodeColors(m_normalColors)},
      {NormalLocationsKey, encodeLocations(m_normalLocations)},
      {HighlightColorsKey, encodeColors(m_highlightColors)},
      {HighlightLocationsKey, encodeLocations(m_highlightLocations)},
  };
  for (auto& [key, value] : lists) {
    if (!value.isNull()) coder.set(key, std::move(value));
  }
  return coder;
}

const gfx::Gradient* GradientButton::makeGradient(std::optional<gfx::Gradient>& cache, const ColorList& colors,
                                                  const LocationList& locations) {
  if (cache) return &*cache;
  // One location per colour: anything else makes no gradient (and the next read tries again).
  if (!colors || !locations || colors->empty() || colors->size() != locations->size()) return nullptr;
  std::vector<double> widened(locations->begin(), locations->end());
  cache = gfx::Gradient::withColors(*colors, widened);
  return cache ? &*cache : nullptr;
}

const gfx::Gradient* GradientButton::normalGradient() {
  return makeGradient(m_normalGradient, m_normalColors, m_normalLocations);
}

const gfx::Gradient* GradientButton::highlightGradient() {
  return makeGradient(m_highlightGradient, m_highlightColors, m_highlightLocations);
}

std::optional<GradientButton::Outline> GradientButton::outline() const {
  const gfx::Rect b = bounds();
  const double W = b.size.width;
  const double H = b.size.height;
  // The scale divides by W - 0.5 and by H.
  if (!(W > 0.5) || !(H > 0) || !std::isfinite(W) || !std::isfinite(H)) return std::nullopt;
  const double r = m_cornerRadius;
  const double resolution = 0.5 * (W / (W - 0.5) + H / H);
  double s = m_strokeWeight * resolution;
  s = s < 1.0 ? std::ceil(s) : nearest(s);
  const double stroke = s / resolution;
  const double align = std::fmod(0.5 * stroke * resolution, 1.0);
  auto snap = [&](double v) { return (nearest(resolution * v + align) - align) / resolution; };
  auto pt = [&](double x, double y) { return gfx::Point{snap(x), snap(y)}; };

  Outline out;
  out.lineWidth = stroke;
  gfx::Path& p = out.path;
  p.moveTo(pt(W - r, H - 0.5));
  p.curveTo(pt(W - r / 2, H - 0.5), pt(W - 0.5, H - r / 2), pt(W - 0.5, H - r));
  p.lineTo(pt(W - 0.5, r));
  p.curveTo(pt(W - 0.5, r / 2), pt(W - r / 2, 0), pt(W - r, 0));
  p.lineTo(pt(r, 0));
  p.curveTo(pt(r / 2, 0), pt(0, r / 2), pt(0, r));
  p.lineTo(pt(0, H - r));
  p.curveTo(pt(0, H - r / 2), pt(r / 2, H - 0.5), pt(r, H - 0.5));
  p.lineTo(pt(W - r, H - 0.5));
  p.close();
  return out;
}

void GradientButton::drawRect(gfx::Context& ctx, const gfx::Rect& /*rect*/) {
  setBackgroundColor(gfx::Color::clear());
  const std::optional<Outline> shape = outline();
  if (!shape) return;
  const gfx::Size size = bounds().size;

  // Held down means exactly the highlighted state: selected or disabled as well paints normal.
  const gfx::Gradient* gradient = state() == ui::ControlStateHighlighted ? highlightGradient() : normalGradient();
  if (gradient) {
    ctx.save();
    ctx.clipToPath(shape->path, gfx::FillRule::EvenOdd);
    ctx.drawLinearGradient(*gradient, {size.width * 0.5, size.height - 0.5}, {size.width * 0.5, 0},
                           gfx::GradientDrawsBeforeStart | gfx::GradientDrawsAfterEnd);
    ctx.restore();
  }

  // Without a stroke colour the context's own stroke colour outlines the button.
  if (m_strokeColor) ctx.setStrokeColor(*m_strokeColor);
  ctx.setLineWidth(shape->lineWidth);
  ctx.setLineCap(gfx::LineCap::Square);
  if (shape->lineWidth > 0) ctx.stroke(shape->path);
}

void GradientButton::touchesBegan(const ui::TouchSet& touches, const ui::Event* event) {
  auto keep = shared();
  ui::Button::touchesBegan(touches, event);
  setNeedsDisplay();
}

void GradientButton::touchesMoved(const ui::TouchSet& touches, const ui::Event* event) {
  auto keep = shared();
  ui::Button::touchesMoved(touches, event);
  setNeedsDisplay();
}

void GradientButton::touchesEnded(const ui::TouchSet& touches, const ui::Event* event) {
  auto keep = shared();
  ui::Button::touchesEnded(touches, event);
  setNeedsDisplay();
  scheduleHesitateUpdate();
}

void GradientButton::touchesCancelled(const ui::TouchSet& touches, const ui::Event* event) {
  auto keep = shared();
  ui::Button::touchesCancelled(touches, event);
  setNeedsDisplay();
  scheduleHesitateUpdate();
}

void GradientButton::scheduleHesitateUpdate() {
  std::weak_ptr<GradientButton> weak = std::static_pointer_cast<GradientButton>(shared());
  core::RunLoop::main().performAfterDelay(weak, 0.1, [weak] {
    if (auto self = weak.lock()) self->hesitateUpdate();
  });
}

namespace {

struct Look {
  std::vector<gfx::Color> colors;
  std::vector<float> locations;
};

void applyPreset(GradientButton& button, const Look& normal, const Look& held, double radius) {
  button.setNormalGradientColors(normal.colors);
  button.setNormalGradientLocations(normal.locations);
  button.setHighlightGradientColors(held.colors);
  button.setHighlightGradientLocations(held.locations);
  button.setCornerRadius(radius);
}

const Look& whiteNormal() {
  static const Look look{{rgb(0.864, 0.864, 0.864), rgb(0.995, 0.995, 0.995), rgb(0.956, 0.956, 0.955)},
                         {0.0f, 1.0f, 0.601f}};
  return look;
}

const Look& blackNormal() {
  static const Look look{
      {rgb(0.154, 0.154, 0.154), rgb(0.307, 0.307, 0.307), rgb(0.166, 0.166, 0.166), rgb(0.118, 0.118, 0.118)},
      {0.0f, 1.0f, 0.548f, 0.462f}};
  return look;
}

const Look& actionSheetHeld() {
  static const Look look{{rgb(0.033, 0.251, 0.673), rgb(0.660, 0.701, 0.880), rgb(0.222, 0.308, 0.709),
                          rgb(0.145, 0.231, 0.683), rgb(0.0, 0.124, 0.621), rgb(0.011, 0.181, 0.647),
                          rgb(0.311, 0.383, 0.748)},
                         {0.0f, 1.0f, 0.957f, 0.574f, 0.541f, 0.185f, 0.812f}};
  return look;
}

}  // namespace

void GradientButton::useAlertStyle() {
  const Look normal{{rgb(0.283, 0.320, 0.414), rgb(0.820, 0.834, 0.870), rgb(0.186, 0.223, 0.326)},
                    {0.0f, 1.0f, 0.483f}};
  const Look held{{rgb(0.0, 0.0, 0.0), rgb(0.656, 0.683, 0.713), rgb(0.137, 0.155, 0.208), rgb(0.237, 0.257, 0.305)},
                  {0.0f, 1.0f, 0.51f, 0.654f}};
  applyPreset(*this, normal, held, 7.0);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateNormal);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateHighlighted);
}

void GradientButton::useRedDeleteStyle() {
  const Look normal{{rgb(0.667, 0.150, 0.152), rgb(0.841, 0.566, 0.566), rgb(0.750, 0.341, 0.345),
                     rgb(0.592, 0.0, 0.0), rgb(0.592, 0.0, 0.0)},
                    {0.0f, 1.0f, 0.582f, 0.418f, 0.346f}};
  const Look held{{rgb(0.467, 0.009, 0.005), rgb(0.754, 0.562, 0.562), rgb(0.543, 0.212, 0.212),
                   rgb(0.500, 0.153, 0.152), rgb(0.388, 0.004, 0.0)},
                  {0.0f, 1.0f, 0.715f, 0.513f, 0.445f}};
  applyPreset(*this, normal, held, 9.0);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateNormal);
}

void GradientButton::useWhiteStyle() {
  const Look held{{rgb(0.692, 0.692, 0.691), rgb(0.995, 0.995, 0.995), rgb(0.830, 0.830, 0.830)},
                  {0.0f, 1.0f, 0.601f}};
  applyPreset(*this, whiteNormal(), held, 9.0);
  setTitleColor(gfx::Color::black(), ui::ControlStateNormal);
  setTitleColor(gfx::Color::darkGray(), ui::ControlStateHighlighted);
}

void GradientButton::useBlackStyle() {
  const Look held{{rgb(0.199, 0.199, 0.199), rgb(0.040, 0.040, 0.040), rgb(0.074, 0.074, 0.074),
                   rgb(0.112, 0.112, 0.112)},
                  {0.0f, 1.0f, 0.548f, 0.462f}};
  applyPreset(*this, blackNormal(), held, 9.0);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateNormal);
}

void GradientButton::useWhiteActionSheetStyle() {
  applyPreset(*this, whiteNormal(), actionSheetHeld(), 9.0);
  setTitleColor(gfx::Color::black(), ui::ControlStateNormal);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateHighlighted);
}

void GradientButton::useBlackActionSheetStyle() {
  applyPreset(*this, blackNormal(), actionSheetHeld(), 9.0);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateNormal);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateHighlighted);
}

void GradientButton::useSimpleOrangeStyle() {
  const Look normal{{rgb(0.935, 0.403, 0.020), rgb(0.970, 0.582, 0.0)}, {0.0f, 1.0f}};
  const Look held{{rgb(0.914, 0.309, 0.0), rgb(0.935, 0.400, 0.0), rgb(0.946, 0.441, 0.010)}, {0.0f, 1.0f, 0.498f}};
  applyPreset(*this, normal, held, 9.0);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateNormal);
}

void GradientButton::useGreenConfirmStyle() {
  const Look normal{{rgb(0.150, 0.667, 0.152), rgb(0.566, 0.841, 0.566), rgb(0.341, 0.750, 0.345),
                     rgb(0.0, 0.592, 0.0), rgb(0.0, 0.592, 0.0)},
                    {0.0f, 1.0f, 0.582f, 0.418f, 0.346f}};
  const Look held{{rgb(0.009, 0.467, 0.005), rgb(0.562, 0.754, 0.562), rgb(0.212, 0.543, 0.212),
                   rgb(0.153, 0.500, 0.152), rgb(0.004, 0.388, 0.0)},
                  {0.0f, 1.0f, 0.715f, 0.513f, 0.445f}};
  applyPreset(*this, normal, held, 9.0);
  setTitleColor(gfx::Color::whiteColor(), ui::ControlStateNormal);
}

}  // namespace kt
