#include "ui/MixerWatch.h"

#include <glib-unix.h>

namespace orvane {

namespace {

gboolean onMixerReady(gint, GIOCondition, gpointer data)
{
    static_cast<MixerWatch*>(data)->dispatch();
    return G_SOURCE_CONTINUE;
}

GIOCondition conditionOf(short events)
{
    int condition = 0;
    if (events & POLLIN)
        condition |= G_IO_IN;
    if (events & POLLOUT)
        condition |= G_IO_OUT;
    if (events & POLLPRI)
        condition |= G_IO_PRI;
    return static_cast<GIOCondition>(condition | G_IO_ERR | G_IO_HUP);
}

} // namespace

MixerWatch::MixerWatch(std::unique_ptr<AudioMixer> mixer) : mixer_(std::move(mixer))
{
    if (!mixer_)
        return;
    for (const pollfd& fd : mixer_->pollDescriptors())
        sources_.push_back(g_unix_fd_add(fd.fd, conditionOf(fd.events), &onMixerReady, this));
}

std::shared_ptr<MixerWatch> MixerWatch::openDefault()
{
    return std::make_shared<MixerWatch>(AudioMixer::open(AudioDeviceChoice::fromEnvironment()));
}

MixerWatch::~MixerWatch()
{
    for (unsigned source : sources_)
        g_source_remove(source);
}

int MixerWatch::subscribe(Listener listener)
{
    const int key = nextKey_++;
    listeners_.emplace(key, std::move(listener));
    return key;
}

void MixerWatch::unsubscribe(int key)
{
    listeners_.erase(key);
}

void MixerWatch::dispatch()
{
    if (!mixer_)
        return;
    for (MixerControl* control : mixer_->handleEvents()) {
        // A listener may unsubscribe (its window going) while it is told.
        const std::map<int, Listener> listeners = listeners_;
        for (const auto& [key, listener] : listeners)
            if (listeners_.count(key))
                listener(*mixer_, *control);
    }
}

} // namespace orvane
