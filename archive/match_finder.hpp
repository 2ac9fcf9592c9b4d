// The match finder of the LH5 compressor: a tree of all positions of the
// 8192-byte window keyed by their text (a Patricia trie: inner nodes carry
// the matched depth, leaves are text positions), giving the longest match
// for each position in one walk.
//
// Node numbers: 1-8191 inner nodes (0 is "none"), 8192-8447 the roots (one
// per first byte), 8192-16383 leaves (the leaf number is its text
// position). The children of all nodes hang in doubly linked lists whose
// heads (link numbers 16384-49151) are chosen by a hash of (q, c).
#pragma once

#include <cstdint>

namespace lh5 {

// Per file: clears the text and the tree; chains the free inner nodes.
void match_finder_start();

// The child of node q whose edge starts with byte c, or 0.
int find_child(int q, int c);

// Puts r at the head of q's list for byte c and makes q its parent.
void add_child(int q, int c, int r);

// Splits the edge above `old` at the current match length with a new
// inner node that gets old and the current position as children.
void split_node(int old);

// Finds the longest match for the text at the current position (length and
// position into the tree state) and enters the position as a leaf.
void insert_position();

// Removes the leaf of the current position, which leaves the window.
void delete_position();

// Moves one byte on: slides the text and reads a new piece when the
// position reaches 16384 (a "." on the console channel when verbose), then
// deletes the old leaf and inserts the new position.
void advance();

}  // namespace lh5
