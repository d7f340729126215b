#include "catalogue/settings.h"

namespace kavo {

std::string_view ClickActionText(ClickAction click) {
    switch (click) {
        case ClickAction::View:
            return "View";
        case ClickAction::No:
            return "No";
        case ClickAction::Folder:
            break;
    }
    return "Folder";
}

std::string_view AlignmentText(Alignment align) {
    switch (align) {
        case Alignment::Left:
            return "LEFT";
        case Alignment::Right:
            return "RIGHT";
        case Alignment::Center:
            break;
    }
    return "CENTER";
}

}  // namespace kavo
