// An ordered index kept as a balanced (AA) tree over the C runtime's heap: every insertion and lookup costs
// O(log n) whatever order the keys come in, so a file's keys in descending order load as fast as in
// ascending order. Insertion reports running out of memory as false and leaves the index as it was.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

template <typename Key, typename Value, typename Less>
class SortedIndex {
  public:
    SortedIndex() noexcept = default;
    ~SortedIndex() { Free(root); }
    SortedIndex(const SortedIndex&) = delete;
    SortedIndex& operator=(const SortedIndex&) = delete;

    size_t size() const noexcept { return count; }

    // The value stored under `key`, or null. Values stay where they are until their key is erased.
    template <typename Lookup>
    Value* Find(const Lookup& key) noexcept {
        for (Node* node = root; node != nullptr;) {
            if (Less()(key, node->key)) {
                node = node->left;
            } else if (Less()(node->key, key)) {
                node = node->right;
            } else {
                return &node->value;
            }
        }
        return nullptr;
    }

    // Stores `value` under `key`, which must not be in the index yet.
    bool Insert(Key&& key, Value value) noexcept {
        void* memory = std::malloc(sizeof(Node));
        if (memory == nullptr) {
            return false;
        }
        root = Add(root, ::new (memory) Node{std::move(key), std::move(value), nullptr, nullptr, 1});
        ++count;
        return true;
    }

    template <typename Lookup>
    void Erase(const Lookup& key) noexcept {
        if (Find(key) != nullptr) {
            root = Remove(root, key);
            --count;
        }
    }

    // Calls visit(key, value) for every entry, in key order.
    template <typename Visit>
    void ForEach(Visit&& visit) noexcept {
        Walk(root, visit);
    }

  private:
    struct Node {
        Key key;
        Value value;
        Node* left;
        Node* right;
        int level;  // leaves are 1; a left child is one lower, a right child equal or one lower
    };

    static int Level(const Node* node) noexcept { return node == nullptr ? 0 : node->level; }

    // Turns a left child of the same level into the parent.
    static Node* Skew(Node* node) noexcept {
        if (node == nullptr || Level(node->left) != node->level) {
            return node;
        }
        Node* left = node->left;
        node->left = left->right;
        left->right = node;
        return left;
    }

    // Lifts the middle of three nodes of one level in a row.
    static Node* Split(Node* node) noexcept {
        if (node == nullptr || node->right == nullptr || Level(node->right->right) != node->level) {
            return node;
        }
        Node* right = node->right;
        node->right = right->left;
        right->left = node;
        ++right->level;
        return right;
    }

    static Node* Add(Node* node, Node* added) noexcept {
        if (node == nullptr) {
            return added;
        }
        if (Less()(added->key, node->key)) {
            node->left = Add(node->left, added);
        } else {
            node->right = Add(node->right, added);
        }
        return Split(Skew(node));
    }

    template <typename Lookup>
    static Node* Remove(Node* node, const Lookup& key) noexcept {
        if (Less()(key, node->key)) {
            node->left = Remove(node->left, key);
        } else if (Less()(node->key, key)) {
            node->right = Remove(node->right, key);
        } else if (node->left == nullptr && node->right == nullptr) {
            node->~Node();
            std::free(node);
            return nullptr;
        } else {
            // An inner node takes its neighbour's entry, which is then removed below it.
            Node* next = node->left == nullptr ? node->right : node->left;
            while ((node->left == nullptr ? next->left : next->right) != nullptr) {
                next = node->left == nullptr ? next->left : next->right;
            }
            std::swap(node->key, next->key);
            std::swap(node->value, next->value);
            if (node->left == nullptr) {
                node->right = Remove(node->right, next->key);
            } else {
                node->left = Remove(node->left, next->key);
            }
        }
        const int level = (Level(node->left) < Level(node->right) ? Level(node->left) : Level(node->right)) + 1;
        if (level < node->level) {
            node->level = level;
            if (level < Level(node->right)) {
                node->right->level = level;
            }
        }
        node = Skew(node);
        node->right = Skew(node->right);
        if (node->right != nullptr) {
            node->right->right = Skew(node->right->right);
        }
        node = Split(node);
        node->right = Split(node->right);
        return node;
    }

    template <typename Visit>
    static void Walk(Node* node, Visit& visit) noexcept {
        if (node != nullptr) {
            Walk(node->left, visit);
            visit(node->key, node->value);
            Walk(node->right, visit);
        }
    }

    static void Free(Node* node) noexcept {
        if (node != nullptr) {
            Free(node->left);
            Free(node->right);
            node->~Node();
            std::free(node);
        }
    }

    Node* root = nullptr;
    size_t count = 0;
};
