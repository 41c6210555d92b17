#include "FairQueue.h"

#include <algorithm>

FairQueue::Push FairQueue::push(std::vector<WireCommand> commands, size_t sourceLimit,
                                size_t totalLimit)
{
    if (commands.empty())
        return Push::Taken;
    const uint64_t source = commands.front().source;
    if (pending(source) + commands.size() > sourceLimit)
        return Push::SourceFull;
    if (size_ + commands.size() > totalLimit)
        return Push::AllFull;
    size_ += commands.size();
    std::deque<WireCommand>& queue = queues_[source];
    if (queue.empty())
        turns_.push_back(source);
    for (WireCommand& command : commands)
        queue.push_back(std::move(command));
    return Push::Taken;
}

std::optional<WireCommand> FairQueue::pop()
{
    if (turns_.empty())
        return std::nullopt;
    const uint64_t source = turns_.front();
    turns_.pop_front();
    auto it = queues_.find(source);
    WireCommand command = std::move(it->second.front());
    it->second.pop_front();
    --size_;
    if (it->second.empty())
        queues_.erase(it);
    else
        turns_.push_back(source);
    return command;
}

std::vector<WireCommand> FairQueue::dropSource(uint64_t source)
{
    std::vector<WireCommand> dropped;
    auto it = queues_.find(source);
    if (it == queues_.end())
        return dropped;
    dropped.assign(std::make_move_iterator(it->second.begin()),
                   std::make_move_iterator(it->second.end()));
    size_ -= dropped.size();
    queues_.erase(it);
    turns_.erase(std::remove(turns_.begin(), turns_.end(), source), turns_.end());
    return dropped;
}

std::vector<WireCommand> FairQueue::clear()
{
    std::vector<WireCommand> dropped;
    while (std::optional<WireCommand> command = pop())
        dropped.push_back(std::move(*command));
    return dropped;
}

size_t FairQueue::pending(uint64_t source) const
{
    const auto it = queues_.find(source);
    return it == queues_.end() ? 0 : it->second.size();
}
