#pragma once

#include <cstdint>
#include <memory>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace kt {

// A level meter of equal bars in a row (wider than high) or a column. A value between the limits
// lights a run of bars from the filling end; bars from the warning fraction up take the warning
// colour, from the danger fraction up the danger colour; unlit bars show their colour faintly. With
// holdPeak the highest value seen is marked by one lit bar until resetPeak or setNumBars.
//
// Bar indices count from the end where filling starts. Limits, flags and colours take effect at the
// next setValue or paint; only a change of the lit range asks for a repaint.
class BarGaugeView : public ui::View {
 public:
  static std::shared_ptr<BarGaugeView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<BarGaugeView>(frame);
  }
  explicit BarGaugeView(const gfx::Rect& frame = gfx::Rect());

  float value() const { return m_flValue; }
  // Equal limits or a value that is not a number light nothing.
  void setValue(float value);
  float warnThreshold() const { return m_flWarnThreshold; }
  void setWarnThreshold(float threshold);
  float dangerThreshold() const { return m_flDangerThreshold; }
  void setDangerThreshold(float threshold);
  float maxLimit() const { return m_flMaxLimit; }
  void setMaxLimit(float limit) { m_flMaxLimit = limit; }
  float minLimit() const { return m_flMinLimit; }
  void setMinLimit(float limit) { m_flMinLimit = limit; }
  int32_t numBars() const { return m_iNumBars; }
  void setNumBars(int32_t count);
  float peakValue() const { return m_flPeakValue; }
  bool holdPeak() const { return m_fHoldPeak; }
  void setHoldPeak(bool hold) { m_fHoldPeak = hold; }
  bool litEffect() const { return m_fLitEffect; }
  void setLitEffect(bool on) { m_fLitEffect = on; }
  bool reverse() const { return m_fReverseDirection; }
  void setReverse(bool reverse) { m_fReverseDirection = reverse; }
  void resetPeak();
  void setDefaults();

  const gfx::Color& outerBorderColor() const { return m_clrOuterBorder; }
  void setOuterBorderColor(const gfx::Color& c) { m_clrOuterBorder = c; }
  const gfx::Color& innerBorderColor() const { return m_clrInnerBorder; }
  void setInnerBorderColor(const gfx::Color& c) { m_clrInnerBorder = c; }
  // The colour behind the bars. It stands in for the view's own background colour, which stays
  // unset (these hide ui::View's accessors of that name).
  const gfx::Color& backgroundColor() const { return m_clrBackground; }
  void setBackgroundColor(const gfx::Color& c) { m_clrBackground = c; }
  const gfx::Color& normalBarColor() const { return m_clrNormal; }
  void setNormalBarColor(const gfx::Color& c) { m_clrNormal = c; }
  const gfx::Color& warningBarColor() const { return m_clrWarning; }
  void setWarningBarColor(const gfx::Color& c) { m_clrWarning = c; }
  const gfx::Color& dangerBarColor() const { return m_clrDanger; }
  void setDangerBarColor(const gfx::Color& c) { m_clrDanger = c; }

  // The lit range [onIndex, offIndex) and the marked peak bar (-1 for none).
  int32_t onIndex() const { return m_iOnIdx; }
  int32_t offIndex() const { return m_iOffIdx; }
  int32_t peakBarIndex() const { return m_iPeakBarIdx; }
  int32_t warningBarIndex() const { return m_iWarningBarIdx; }
  int32_t dangerBarIndex() const { return m_iDangerBarIdx; }

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void drawBar(gfx::Context& ctx, const gfx::Rect& rect, const gfx::Color& color, bool lit);

 private:
  float m_flValue = 0;
  float m_flPeakValue = 0;
  float m_flMaxLimit = 9;
  float m_flMinLimit = 0;
  float m_flWarnThreshold = 0.6f;
  float m_flDangerThreshold = 0.8f;
  int32_t m_iNumBars = 10;
  bool m_fHoldPeak = false;
  bool m_fLitEffect = true;
  bool m_fReverseDirection = false;
  gfx::Color m_clrOuterBorder;
  gfx::Color m_clrInnerBorder;
  gfx::Color m_clrBackground;
  gfx::Color m_clrNormal;
  gfx::Color m_clrWarning;
  gfx::Color m_clrDanger;
  int32_t m_iOnIdx = 0;
  int32_t m_iOffIdx = 0;
  int32_t m_iPeakBarIdx = -1;
  int32_t m_iWarningBarIdx = 6;
  int32_t m_iDangerBarIdx = 8;
};

}  // namespace kt
