#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

namespace gfx {
class Context;
}

namespace kt::assets {

// The small flat pictures the artwork is made of, each drawn on a 24 by 24 grid and scaled to fit
// the box it is given (centred, aspect kept), in one colour.
class Pictogram {
 public:
  enum class Kind {
    Play,
    Pause,
    PlayPause,
    Next,
    Speaker,
    Microphone,
    Vocal,  // original singer / accompaniment: a note beside a microphone
    Heart,
    BrokenHeart,
    Search,
    Back,
    ChevronRight,
    Triangle,
    Queue,
    Sung,  // a list with a tick: songs already sung
    Glass,
    Food,
    Bill,
    Bell,
    Clock,
    Calendar,
    Timer,
    Computer,
    Server,
    Person,
    Star,
    Flame,
    Trophy,
    Record,
    Duet,
    Cheers,
    Check,
    Cross,
    Plus,
    Minus,
    Info,
    Note,
    Menu,
    Remote,
    Gift,
  };

  static void draw(gfx::Context& context, Kind kind, const gfx::Rect& box, const gfx::Color& color);
};

}  // namespace kt::assets
