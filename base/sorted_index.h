// An ordered index kept as a balanced (AA) tree over the C runtime's heap: insertions and lookups cost O(log n)
// whatever order the keys come in. Insertion reports running out of memory as false and changes nothing.
#pragma once

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

    // The value stored under `key`, or null.
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
        return true;
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
        if (Level(node->left) != node->level) {
            return node;
        }
        Node* left = node->left;
        node->left = left->right;
        left->right = node;
        return left;
    }

    // Lifts the middle of three nodes of one level in a row.
    static Node* Split(Node* node) noexcept {
        if (node->right == nullptr || Level(node->right->right) != node->level) {
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

    static void Free(Node* node) noexcept {
        if (node != nullptr) {
            Free(node->left);
            Free(node->right);
            node->~Node();
            std::free(node);
        }
    }

    Node* root = nullptr;
};
