#pragma once
// A sprite that steps through frames of a texture strip: the pulsing
// recording symbol.

#include <SFML/Graphics/Drawable.hpp>
#include <SFML/Graphics/Rect.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <SFML/Graphics/Transformable.hpp>
#include <SFML/Graphics/Vertex.hpp>
#include <SFML/System/Time.hpp>

#include <vector>

class SFAnimatedSprite : public sf::Drawable, public sf::Transformable {
public:
    explicit SFAnimatedSprite(sf::Time frameTime = sf::seconds(0.2f), bool paused = false, bool looped = true);

    void setFrames(const std::vector<sf::IntRect>* frames, const sf::Texture* texture);
    const std::vector<sf::IntRect>* frames() const { return frames_; }
    void setFrame(std::size_t index, bool resetTime = true);
    void setFrameTime(sf::Time frameTime) { frameTime_ = frameTime; }
    void setLooped(bool looped) { looped_ = looped; }
    void play() { paused_ = false; }
    void update(sf::Time delta);

    std::size_t currentFrame() const { return currentFrame_; }
    bool isPaused() const { return paused_; }
    const sf::Vertex* vertices() const { return vertices_; }

private:
    void draw(sf::RenderTarget& target, sf::RenderStates states) const override;

    const std::vector<sf::IntRect>* frames_ = nullptr;
    sf::Time frameTime_;
    sf::Time currentTime_;
    std::size_t currentFrame_ = 0;
    bool paused_;
    bool looped_;
    const sf::Texture* texture_ = nullptr;
    sf::Vertex vertices_[4];
};
