#include "core/model/list_source.hpp"

namespace vorna {

std::size_t ListSource::size() const noexcept {
    switch (kind_) {
        case Kind::Owned: return owned_->size();
        case Kind::Views: return views_.size();
        case Kind::Packed: return packed_.size();
    }
    return 0;
}

std::string_view ListSource::operator[](std::size_t i) const noexcept {
    switch (kind_) {
        case Kind::Owned: return (*owned_)[i];
        case Kind::Views: return views_[i];
        case Kind::Packed: return packed_[i];
    }
    return {};
}

}  // namespace vorna
