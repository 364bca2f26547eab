#include "lumosdk/widgets/DirectionGestureRecognizer.h"

namespace lumo {

using platform::ui::TouchSet;

void DirectionGestureRecognizer::touchesBegan(const TouchSet&) { setState(State::began); }
void DirectionGestureRecognizer::touchesMoved(const TouchSet&) { setState(State::changed); }
void DirectionGestureRecognizer::touchesEnded(const TouchSet&) { setState(State::ended); }
void DirectionGestureRecognizer::touchesCancelled(const TouchSet&) { setState(State::cancelled); }

}  // namespace lumo
