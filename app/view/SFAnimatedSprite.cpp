#include "app/view/SFAnimatedSprite.h"

#include <SFML/Graphics/RenderTarget.hpp>

SFAnimatedSprite::SFAnimatedSprite(sf::Time frameTime, bool paused, bool looped)
    : frameTime_(frameTime), paused_(paused), looped_(looped)
{
}

void SFAnimatedSprite::setFrames(const std::vector<sf::IntRect>* frames, const sf::Texture* texture)
{
    frames_ = frames;
    texture_ = texture;
    currentFrame_ = 0;
    setFrame(0, true);
}

void SFAnimatedSprite::setFrame(std::size_t index, bool resetTime)
{
    if (frames_ && index < frames_->size()) {
        const sf::IntRect rect = (*frames_)[index];
        const float w = float(rect.width), h = float(rect.height);
        const float left = float(rect.left) + 0.0001f, top = float(rect.top);
        vertices_[0].position = {0, 0};
        vertices_[1].position = {0, h};
        vertices_[2].position = {w, h};
        vertices_[3].position = {w, 0};
        vertices_[0].texCoords = {left, top};
        vertices_[1].texCoords = {left, top + h};
        vertices_[2].texCoords = {left + w, top + h};
        vertices_[3].texCoords = {left + w, top};
    }
    if (resetTime)
        currentTime_ = sf::Time::Zero;
}

void SFAnimatedSprite::update(sf::Time delta)
{
    if (paused_ || !frames_ || frames_->empty())
        return;
    currentTime_ += delta;
    if (frameTime_ <= sf::Time::Zero || currentTime_ < frameTime_)
        return;
    currentTime_ = sf::microseconds(currentTime_.asMicroseconds() % frameTime_.asMicroseconds());
    if (currentFrame_ + 1 < frames_->size()) {
        ++currentFrame_;
    } else {
        currentFrame_ = 0;
        if (!looped_)
            paused_ = true;
    }
    setFrame(currentFrame_, false);
}

void SFAnimatedSprite::draw(sf::RenderTarget& target, sf::RenderStates states) const
{
    if (!frames_ || !texture_)
        return;
    states.transform *= getTransform();
    states.texture = texture_;
    target.draw(vertices_, 4, sf::Quads, states);
}
